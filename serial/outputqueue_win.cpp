#include "serial/outputqueue.h"

#include <qt_windows.h>

// The driver's count includes the write Qt has in flight, which Qt's bytesToWrite() counts
// too: a close then waits a little longer, never less.
qint64 systemOutputQueue(const QSerialPort &port)
{
    COMSTAT status {};
    DWORD errors = 0;
    return port.handle() != INVALID_HANDLE_VALUE
                    && ::ClearCommError(port.handle(), &errors, &status)
            ? qint64(status.cbOutQue)
            : 0;
}

void discardSystemOutput(const QSerialPort &port)
{
    if (port.handle() != INVALID_HANDLE_VALUE)
        ::PurgeComm(port.handle(), PURGE_TXABORT | PURGE_TXCLEAR);
}
