#include "serial/busyport.h"

#include <QString>

#include <qt_windows.h>

namespace {

bool isPortBusy(const QString &systemLocation)
{
    // A program holding the port makes an exclusive open fail: serial drivers refuse access,
    // other devices report a sharing violation. The handle of a successful one goes at once.
    const HANDLE handle = ::CreateFileW(reinterpret_cast<const wchar_t *>(systemLocation.utf16()),
                                        GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return ::GetLastError() == ERROR_ACCESS_DENIED
                || ::GetLastError() == ERROR_SHARING_VIOLATION;
    ::CloseHandle(handle);
    return false;
}

} // namespace

QList<bool> busyPorts(const QStringList &systemLocations)
{
    QList<bool> busy;
    for (const QString &location : systemLocations)
        busy.append(isPortBusy(location));
    return busy;
}
