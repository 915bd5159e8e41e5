#include "pseudoterminal.h"

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return;
    if (grantpt(fd) != 0 || unlockpt(fd) != 0) {
        ::close(fd);
        return;
    }
    m_master = fd;
    m_slavePath = QString::fromLocal8Bit(ptsname(fd));
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
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return result;
        result.append(buffer, int(n));
    }
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
    const int slave = ::open(m_slavePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (slave < 0)
        return false;
    const bool done = ::ioctl(slave, TIOCVHANGUP) == 0;
    ::close(slave);
    return done;
}
