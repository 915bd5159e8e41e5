#include "serial/busyport.h"

#include "serial/boundedprobe.h"

#include <QString>

#include <qt_windows.h>

namespace {

bool isPortBusy(const QString &systemLocation)
{
    // A program holding the port makes an exclusive open fail: serial drivers refuse access,
    // other devices report a sharing violation. The handle of a successful one goes at once,
    // also when its answer comes too late to count.
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

// A paired Bluetooth port whose device is off keeps CreateFile waiting for seconds: each port is
// asked on a thread of its own, and one that has not answered within a second counts as busy.
QList<bool> busyPorts(const QStringList &systemLocations)
{
    return boundedProbe(systemLocations, isPortBusy, std::chrono::seconds(1));
}
