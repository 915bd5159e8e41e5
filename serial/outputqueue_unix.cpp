#include "outputqueue.h"

#include <sys/ioctl.h>
#include <termios.h>

qint64 systemOutputQueue(qintptr handle)
{
    int queued = 0;
    return handle >= 0 && ::ioctl(int(handle), TIOCOUTQ, &queued) == 0 ? queued : 0;
}

void discardSystemOutput(qintptr handle)
{
    if (handle >= 0)
        ::tcflush(int(handle), TCOFLUSH);
}
