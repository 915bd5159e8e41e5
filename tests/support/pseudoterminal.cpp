#include "pseudoterminal.h"

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0)
        m_portName = QString::fromLocal8Bit(ptsname(m_master));
}

PseudoTerminal::~PseudoTerminal()
{
    unplug();
}

bool PseudoTerminal::write(const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QByteArray PseudoTerminal::readAll()
{
    QByteArray result;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(m_master, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        result.append(buffer, int(qMax<ssize_t>(n, 0)));
    return result;
}

void PseudoTerminal::unplug()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

bool PseudoTerminal::hangUp()
{
    // The ioctl acts on the slave side, which the port holds; a second descriptor will do.
    const int slave = ::open(m_portName.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    const bool done = slave >= 0 && ::ioctl(slave, TIOCVHANGUP) == 0;
    if (slave >= 0)
        ::close(slave);
    return done;
}
