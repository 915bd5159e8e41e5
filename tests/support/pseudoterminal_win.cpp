#include "rig.h"

#include <QTest>

#include <winsock2.h>

namespace {

bool com7Opens()
{
    QSerialPort probe(QStringLiteral("COM7"));
    return probe.open(QIODevice::ReadWrite);
}

} // namespace

// The device's side is a TCP connection to the socat that scripts/windows.sh runs: for each
// connection socat makes a pseudo-terminal, which Wine knows as COM7, and hangs it up when
// the connection ends.
PseudoTerminal::PseudoTerminal()
{
    WSADATA winsock;
    ::WSAStartup(MAKEWORD(2, 2), &winsock);
    const SOCKET device = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    m_handle = qintptr(device);
    sockaddr_in socat {};
    socat.sin_family = AF_INET;
    socat.sin_port = ::htons(u_short(qEnvironmentVariableIntValue("WIRELET_DEVICE_PORT")));
    socat.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    u_long nonBlocking = 1;
    if (::connect(device, reinterpret_cast<sockaddr *>(&socat), sizeof socat) == 0
        && ::ioctlsocket(device, FIONBIO, &nonBlocking) == 0 && QTest::qWaitFor(com7Opens))
        m_portName = QStringLiteral("COM7");
}

bool PseudoTerminal::write(const QByteArray &bytes)
{
    for (int done = 0, n = 0; done < bytes.size(); done += qMax(n, 0)) {
        n = ::send(SOCKET(m_handle), bytes.constData() + done, bytes.size() - done, 0);
        if (n < 0 && ::WSAGetLastError() != WSAEWOULDBLOCK)
            return false;
    }
    return true;
}

QByteArray PseudoTerminal::readAll()
{
    QByteArray all;
    char buffer[4096];
    for (int n; (n = ::recv(SOCKET(m_handle), buffer, sizeof buffer, 0)) > 0;)
        all.append(buffer, n);
    return all;
}

void PseudoTerminal::unplug()
{
    if (m_handle == qintptr(INVALID_SOCKET))
        return;
    ::closesocket(SOCKET(m_handle));
    m_handle = qintptr(INVALID_SOCKET);
    if (!QTest::qWaitFor([] { return !com7Opens(); }))
        qWarning("COM7 is still there after the device went");
}
