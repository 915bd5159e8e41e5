#include "busyport.h"

#include <QString>

#include <qt_windows.h>

bool isPortBusy(const QString &systemLocation)
{
    // A serial port opens for one handle at a time: a program holding it makes an exclusive
    // open fail. The handle of a successful one is given back at once.
    const HANDLE handle = ::CreateFileW(reinterpret_cast<const wchar_t *>(systemLocation.utf16()),
                                        GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    ::CloseHandle(handle);
    return false;
}
