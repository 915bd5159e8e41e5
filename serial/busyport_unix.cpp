#include "serial/busyport.h"

#include <QFile>
#include <QFileInfo>
#include <QVector>
#include <QStandardPaths>
#include <QStringList>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString portLockFilePath(const QString &systemLocation)
{
    QString name = systemLocation;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QString fileName = QLatin1String("/LCK..") + name;

    const QStringList folders = {
        QStringLiteral("/var/lock"),        QStringLiteral("/etc/locks"),
        QStringLiteral("/var/spool/locks"), QStringLiteral("/var/spool/uucp"),
        QStringLiteral("/tmp"),             QStringLiteral("/var/tmp"),
        QStringLiteral("/var/lock/lockdev"), QStringLiteral("/run/lock"),
        QStandardPaths::writableLocation(QStandardPaths::TempLocation),
    };
    for (const QString &folder : folders) {
        const QFileInfo info(folder);
        if (info.isReadable() && (QFile::exists(folder + fileName) || info.isWritable()))
            return folder + fileName;
    }
    return QString();
}

namespace {

// Lock files outlive crashed programs, so only one naming a live process counts. The PID is the
// first word of the first line: Qt writes it alone, UUCP-style programs pad it and may add
// their name and user ("      1234 minicom alice").
bool lockedByLiveProcess(const QString &systemLocation)
{
    QFile lock(portLockFilePath(systemLocation));
    if (!lock.open(QIODevice::ReadOnly))
        return false;
    bool isNumber = false;
    const qint64 pid =
            lock.readLine(128).simplified().split(' ').constFirst().toLongLong(&isNumber);
    if (!isNumber || pid <= 0 || pid != qint64(pid_t(pid)))
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
}

#ifdef Q_OS_LINUX
// A device some port is, and which port.
struct Wanted
{
    dev_t device;
    int port;
};

// Marks the ports whose device a descriptor in `fdFolder` points at.
void markHeld(const char *fdFolder, const QVector<Wanted> &wanted, QList<bool> &busy)
{
    DIR *descriptors = ::opendir(fdFolder);
    if (!descriptors) // another user's process: it cannot be seen
        return;
    while (const dirent *entry = ::readdir(descriptors)) {
        // Only devices matter, and a stat() of a file on a dead network mount would hang.
        char path[5];
        struct stat target;
        if (::readlinkat(::dirfd(descriptors), entry->d_name, path, sizeof path) != 5
            || std::memcmp(path, "/dev/", 5) != 0
            || ::fstatat(::dirfd(descriptors), entry->d_name, &target, 0) != 0
            || !S_ISCHR(target.st_mode))
            continue;
        for (const Wanted &port : wanted) {
            if (port.device == target.st_rdev)
                busy[port.port] = true;
        }
    }
    ::closedir(descriptors);
}

// Any path to a device counts: descriptors are compared by device number. One walk of /proc
// serves every port, however many there are.
void markOpenInOtherProcesses(const QStringList &systemLocations, QList<bool> &busy)
{
    QVector<Wanted> wanted;
    for (int i = 0; i < systemLocations.size(); ++i) {
        struct stat port;
        if (!busy.at(i) && ::stat(QFile::encodeName(systemLocations.at(i)).constData(), &port) == 0
            && S_ISCHR(port.st_mode))
            wanted.append({port.st_rdev, i});
    }
    DIR *processes = wanted.isEmpty() ? nullptr : ::opendir("/proc");
    if (!processes)
        return;
    const long self = long(::getpid());
    while (const dirent *entry = ::readdir(processes)) {
        char *end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == self)
            continue;
        const QByteArray fdFolder = "/proc/" + QByteArray::number(qint64(pid)) + "/fd";
        markHeld(fdFolder.constData(), wanted, busy);
    }
    ::closedir(processes);
}
#endif

} // namespace

QList<bool> busyPorts(const QStringList &systemLocations)
{
    QList<bool> busy;
    for (const QString &location : systemLocations)
        busy.append(lockedByLiveProcess(location));
#ifdef Q_OS_LINUX
    markOpenInOtherProcesses(systemLocations, busy);
#endif
    return busy;
}
