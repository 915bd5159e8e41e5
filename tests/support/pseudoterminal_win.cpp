#include "pseudoterminal.h"

#include <QSerialPort>
#include <QTest>

#include <winsock2.h>

namespace {

// The device's side is a TCP connection to the socat that scripts/windows.sh runs: for each
// connection socat makes a pseudo-terminal that Wine knows as COM7, and hangs it up when the
// connection ends.
bool com7Opens()
{
    QSerialPort probe(QStringLiteral("COM7"));
    return probe.open(QIODevice::ReadWrite);
}

} // namespace

PseudoTerminal::PseudoTerminal()
{
    WSADATA winsock;
    ::WSAStartup(MAKEWORD(2, 2), &winsock);
    const SOCKET device = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    m_socket = device;
    sockaddr_in socat {};
    socat.sin_family = AF_INET;
    socat.sin_port = ::htons(u_short(qEnvironmentVariableIntValue("WIRELET_DEVICE_PORT")));
    socat.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    u_long nonBlocking = 1;
    if (::connect(device, reinterpret_cast<sockaddr *>(&socat), sizeof socat) == 0
        && ::ioctlsocket(device, FIONBIO, &nonBlocking) == 0 && QTest::qWaitFor(com7Opens))
        m_portName = QStringLiteral("COM7");
}

PseudoTerminal::~PseudoTerminal()
{
    unplug();
}

bool PseudoTerminal::write(const QByteArray &bytes)
{
    for (int done = 0; done < bytes.size();) {
        const int n = ::send(SOCKET(m_socket), bytes.constData() + done, bytes.size() - done, 0);
        if (n < 0 && ::WSAGetLastError() != WSAEWOULDBLOCK)
            return false;
        done += qMax(n, 0);
    }
    return true;
}

QByteArray PseudoTerminal::readAll()
{
    QByteArray result;
    char buffer[4096];
    int n;
    while ((n = ::recv(SOCKET(m_socket), buffer, sizeof buffer, 0)) > 0)
        result.append(buffer, n);
    return result;
}

void PseudoTerminal::unplug()
{
    if (m_socket == quintptr(INVALID_SOCKET))
        return;
    ::closesocket(SOCKET(m_socket));
    m_socket = quintptr(INVALID_SOCKET);
    if (!QTest::qWaitFor([] { return !com7Opens(); }))
        qWarning("COM7 still there after the device went");
}
