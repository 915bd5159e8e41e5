#ifndef BUSYPORT_H
#define BUSYPORT_H

#include <QString>

// Whether another program holds the serial port at `systemLocation` (/dev/ttyUSB0, \\.\COM3).
// On Unix the port is never opened to find out: opening toggles DTR, which resets many boards.
bool isPortBusy(const QString &systemLocation);

#ifdef Q_OS_UNIX
// Where Qt Serial Port puts the lock file of a port it opens: the first readable folder of its
// list that already holds that file or could take it.
QString portLockFilePath(const QString &systemLocation);
#endif

#endif // BUSYPORT_H
