#include "rig.h"

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    m_handle = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_handle >= 0 && grantpt(int(m_handle)) == 0 && unlockpt(int(m_handle)) == 0)
        m_portName = QString::fromLocal8Bit(ptsname(int(m_handle)));
}

bool PseudoTerminal::write(const QByteArray &bytes)
{
    for (qint64 done = 0, n = 0; done < bytes.size(); done += n) {
        n = ::write(int(m_handle), bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0 && errno != EINTR)
            return false;
        n = qMax<qint64>(n, 0);
    }
    return true;
}

QByteArray PseudoTerminal::readAll()
{
    QByteArray all;
    char buffer[4096];
    for (ssize_t n; (n = ::read(int(m_handle), buffer, sizeof buffer)) > 0;)
        all.append(buffer, int(n));
    return all;
}

void PseudoTerminal::unplug()
{
    if (m_handle >= 0)
        ::close(int(m_handle));
    m_handle = -1;
}

bool PseudoTerminal::hangUp()
{
    // The ioctl acts on the slave side, which the port holds; a second descriptor will do.
    const int slave = ::open(m_portName.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    const bool done = slave >= 0 && ::ioctl(slave, TIOCVHANGUP) == 0;
    ::close(slave);
    return done;
}
