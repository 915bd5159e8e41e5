#include "usage.h"

#include "serial/busyport.h"

#include <QDir>
#include <QFile>
#include <sys/resource.h>
#include <unistd.h>

double Usage::threadCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Usage::residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

int Usage::openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd"))
            .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
            .size();
}

int Usage::portLocksHeld()
{
    const QDir locks(QFileInfo(portLockFilePath(QStringLiteral("/dev/none"))).path());
    const QStringList names =
            locks.entryList({QStringLiteral("LCK..*")}, QDir::Files | QDir::System);
    int held = 0;
    for (const QString &name : names) {
        QFile lock(locks.filePath(name));
        held += lock.open(QIODevice::ReadOnly) && lock.readLine().trimmed().toLong() == getpid();
    }
    return held;
}
