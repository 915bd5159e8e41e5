#include "busyport.h"

#include <QFile>
#include <QFileInfo>
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

// Lock files outlive crashed programs, so only one naming a live process counts; its first
// line is the PID, in the text form both Qt and the UUCP convention write.
bool lockedByLiveProcess(const QString &systemLocation)
{
    QFile lock(portLockFilePath(systemLocation));
    if (!lock.open(QIODevice::ReadOnly))
        return false;
    bool isNumber = false;
    const qint64 pid = lock.readLine(32).trimmed().toLongLong(&isNumber);
    if (!isNumber || pid <= 0 || pid != qint64(pid_t(pid)))
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno != ESRCH;
}

#ifdef Q_OS_LINUX
bool holdsDevice(const char *fdFolder, dev_t device)
{
    DIR *descriptors = ::opendir(fdFolder);
    if (!descriptors) // another user's process: it cannot be seen
        return false;
    bool held = false;
    while (const dirent *entry = ::readdir(descriptors)) {
        // Only devices matter, and a stat() of a file on a dead network mount would hang.
        char path[5];
        if (::readlinkat(::dirfd(descriptors), entry->d_name, path, sizeof path) != 5
            || std::memcmp(path, "/dev/", 5) != 0)
            continue;
        struct stat target;
        if (::fstatat(::dirfd(descriptors), entry->d_name, &target, 0) == 0
            && S_ISCHR(target.st_mode) && target.st_rdev == device) {
            held = true;
            break;
        }
    }
    ::closedir(descriptors);
    return held;
}

// Any path to the device counts: the descriptors are compared by device number.
bool openInAnotherProcess(const QString &systemLocation)
{
    struct stat port;
    if (::stat(QFile::encodeName(systemLocation).constData(), &port) != 0
        || !S_ISCHR(port.st_mode))
        return false;
    DIR *processes = ::opendir("/proc");
    if (!processes)
        return false;
    const long self = long(::getpid());
    bool held = false;
    while (const dirent *entry = ::readdir(processes)) {
        char *end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == self)
            continue;
        const QByteArray fdFolder = "/proc/" + QByteArray::number(qint64(pid)) + "/fd";
        if (holdsDevice(fdFolder.constData(), port.st_rdev)) {
            held = true;
            break;
        }
    }
    ::closedir(processes);
    return held;
}
#endif

} // namespace

bool isPortBusy(const QString &systemLocation)
{
    if (lockedByLiveProcess(systemLocation))
        return true;
#ifdef Q_OS_LINUX
    return openInAnotherProcess(systemLocation);
#else
    return false;
#endif
}
