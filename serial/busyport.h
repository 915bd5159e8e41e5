#ifndef BUSYPORT_H
#define BUSYPORT_H

#include <QList>
#include <QString>
#include <QStringList>

// Which of the serial ports at `systemLocations` (/dev/ttyUSB0, \\.\COM3) another program
// holds, in the same order. On Unix no port is opened to find out: opening toggles DTR, which
// resets many boards. On Windows each is opened on a thread of its own, and one that has not
// answered within a second counts as busy.
QList<bool> busyPorts(const QStringList &systemLocations);

#ifdef Q_OS_UNIX
// Where Qt Serial Port puts the lock file of a port it opens: the first readable folder of its
// list that already holds that file or could take it.
QString portLockFilePath(const QString &systemLocation);
#endif

#endif // BUSYPORT_H
