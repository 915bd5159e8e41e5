#include "serial/outputqueue.h"

#include <sys/ioctl.h>
#include <termios.h>

qint64 systemOutputQueue(const QSerialPort &port)
{
    int queued = 0;
    return port.handle() >= 0 && ::ioctl(port.handle(), TIOCOUTQ, &queued) == 0 ? queued : 0;
}

void discardSystemOutput(const QSerialPort &port)
{
    if (port.handle() >= 0)
        ::tcflush(port.handle(), TCOFLUSH);
}
