#include "rig.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    m_handle = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_handle >= 0 && grantpt(int(m_handle)) == 0 && unlockpt(int(m_handle)) == 0)
        m_portName = QString::fromLocal8Bit(ptsname(int(m_handle)));
}

bool PseudoTerminal::write(const QByteArray &bytes)
{
    return ::write(int(m_handle), bytes.constData(), size_t(bytes.size())) == bytes.size();
}

QByteArray PseudoTerminal::readAll()
{
    QByteArray all(65536, Qt::Uninitialized);
    all.resize(int(qMax<ssize_t>(::read(int(m_handle), all.data(), size_t(all.size())), 0)));
    return all;
}

void PseudoTerminal::unplug()
{
    ::close(int(std::exchange(m_handle, -1))); // once; -1 is refused
}
