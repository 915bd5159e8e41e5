#include "serial/busyport.h"

#include <QFile>
#include <QFileInfo>
#include <QVector>
#include <QStandardPaths>
#include <QStringList>
#include <QSysInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// LCK..<name> in each folder of Qt Serial Port's list, where other programs lock ports too.
QStringList lockFilePaths(const QString &systemLocation)
{
    QString name = systemLocation;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const QStringList folders = {
        QStringLiteral("/var/lock"),        QStringLiteral("/etc/locks"),
        QStringLiteral("/var/spool/locks"), QStringLiteral("/var/spool/uucp"),
        QStringLiteral("/tmp"),             QStringLiteral("/var/tmp"),
        QStringLiteral("/var/lock/lockdev"), QStringLiteral("/run/lock"),
        QStandardPaths::writableLocation(QStandardPaths::TempLocation),
    };
    QStringList paths;
    for (const QString &folder : folders)
        paths.append(folder + QLatin1String("/LCK..") + name);
    return paths;
}

} // namespace

QString portLockFilePath(const QString &systemLocation)
{
    for (const QString &path : lockFilePaths(systemLocation)) {
        const QFileInfo folder(QFileInfo(path).path());
        if (folder.isReadable() && (QFile::exists(path) || folder.isWritable()))
            return path;
    }
    return QString();
}

namespace {

// Whether a live process's lock in Qt's form holds by QLockFile's rules, which Qt Serial Port
// applies when it opens the port: `lines` are the PID, the program's file name, the host name,
// the machine id and the boot id.
bool qtKeepsLock(pid_t pid, const QList<QByteArray> &lines)
{
    const auto line = [&lines](int i) { return i < lines.size() ? lines.at(i) : QByteArray(); };
    bool sameHost = line(2).isEmpty() || line(2) == QSysInfo::machineHostName().toUtf8();
    const QByteArray machine = QSysInfo::machineUniqueId();
    if (!line(3).isEmpty() && !machine.isEmpty())
        sameHost = line(3) == machine;
    if (!sameHost)
        return true; // Qt cannot tell whether a process elsewhere lives
    if (!line(4).isEmpty() && line(4) != QSysInfo::bootUniqueId())
        return false;
    char target[4096];
    const QByteArray exe = "/proc/" + QByteArray::number(qint64(pid)) + "/exe";
    const ssize_t length = ::readlink(exe.constData(), target, sizeof target);
    if (length <= 0) // another user's: Qt could not remove its lock from a sticky folder either
        return true;
    QByteArray program(target, int(length));
    if (program.endsWith(" (deleted)")) // replaced while it runs, by an upgrade: the same program
        program.chop(10);
    const QByteArray name = line(1);
    return program.mid(program.lastIndexOf('/') + 1) == name.mid(name.lastIndexOf('/') + 1);
}

// Lock files outlive crashed programs, so only one naming a live process counts. The PID is the
// first word of the first line: Qt writes it alone and more lines after it, UUCP-style programs
// pad it and may add their name and user ("      1234 minicom alice").
bool namesLiveProcess(const QByteArray &text)
{
    const QList<QByteArray> lines = text.split('\n');
    bool isNumber = false;
    const qint64 pid =
            lines.constFirst().simplified().split(' ').constFirst().toLongLong(&isNumber);
    if (!isNumber || pid <= 0 || pid != qint64(pid_t(pid)))
        return false;
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return false;
    return lines.size() < 3 || qtKeepsLock(pid_t(pid), lines);
}

// Anything at a lock path holds the port unless it is a lock we may read that names no live
// process. What is not a regular file is never opened: a named pipe blocks a reader, a symbolic
// link may lead to a tty (opening it pulses DTR), and Qt's own lock would stumble over either.
bool lockHolds(const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    struct stat entry;
    if (::lstat(file.constData(), &entry) != 0) // none, or in a folder we may not look into
        return false;
    if (!S_ISREG(entry.st_mode))
        return true;
    const int fd =
            ::open(file.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno != ENOENT;
    char text[512];
    const bool regular = ::fstat(fd, &entry) == 0 && S_ISREG(entry.st_mode); // not swapped since
    const ssize_t length = regular ? ::read(fd, text, sizeof text) : -1;
    ::close(fd);
    return length < 0 || namesLiveProcess(QByteArray(text, int(length)));
}

bool lockedByLiveProcess(const QString &systemLocation)
{
    const QStringList paths = lockFilePaths(systemLocation);
    return std::any_of(paths.cbegin(), paths.cend(), lockHolds);
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
