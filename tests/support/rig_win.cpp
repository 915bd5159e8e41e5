#include "rig.h"

#include <winsock2.h>

// A TCP connection to the socat of scripts/windows.sh, which makes a pseudo-terminal for each,
// known to Wine as COM7, and hangs it up when the connection ends.
static bool com7Opens()
{
    return QSerialPort(QStringLiteral("COM7")).open(QIODevice::ReadWrite);
}

PseudoTerminal::PseudoTerminal()
{
    WSADATA winsock;
    ::WSAStartup(MAKEWORD(2, 2), &winsock);
    m_handle = qintptr(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in socat {};
    socat.sin_family = AF_INET;
    socat.sin_port = ::htons(u_short(qEnvironmentVariableIntValue("WIRELET_DEVICE_PORT")));
    socat.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    // Small buffers, so that an unread device holds the port's writes back as a pty does.
    const int buffer = 4096;
    ::setsockopt(SOCKET(m_handle), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char *>(&buffer),
                 sizeof buffer);
    u_long nonBlocking = 1;
    if (::connect(SOCKET(m_handle), reinterpret_cast<sockaddr *>(&socat), sizeof socat) == 0
        && ::ioctlsocket(SOCKET(m_handle), FIONBIO, &nonBlocking) == 0
        && QTest::qWaitFor(com7Opens))
        m_portName = QStringLiteral("COM7");
}

bool PseudoTerminal::write(const QByteArray &bytes)
{
    return ::send(SOCKET(m_handle), bytes.constData(), bytes.size(), 0) == bytes.size();
}

QByteArray PseudoTerminal::readAll()
{
    QByteArray all(65536, Qt::Uninitialized);
    all.resize(qMax(::recv(SOCKET(m_handle), all.data(), all.size(), 0), 0));
    return all;
}

void PseudoTerminal::unplug()
{
    if (::closesocket(SOCKET(std::exchange(m_handle, qintptr(INVALID_SOCKET)))) == 0
        && !QTest::qWaitFor([] { return !com7Opens(); })) // socat hangs COM7 up
        qWarning("COM7 is still there after the device went");
}
