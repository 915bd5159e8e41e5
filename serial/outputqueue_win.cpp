#include "outputqueue.h"

#include <qt_windows.h>

// The driver's count includes the write Qt has in flight, which Qt's bytesToWrite() counts
// too: a close then waits a little longer, never less.
qint64 systemOutputQueue(qintptr handle)
{
    COMSTAT status {};
    DWORD errors = 0;
    const auto port = reinterpret_cast<HANDLE>(handle);
    return port != INVALID_HANDLE_VALUE && ::ClearCommError(port, &errors, &status)
            ? qint64(status.cbOutQue)
            : 0;
}

void discardSystemOutput(qintptr handle)
{
    const auto port = reinterpret_cast<HANDLE>(handle);
    if (port != INVALID_HANDLE_VALUE)
        ::PurgeComm(port, PURGE_TXABORT | PURGE_TXCLEAR);
}
