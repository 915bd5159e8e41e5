#ifndef PSEUDOTERMINAL_H
#define PSEUDOTERMINAL_H

#include <QByteArray>
#include <QString>

// The device end of a line, played by the test; Wirelet opens portName() like any serial port.
// On Unix it is a kernel pseudo-terminal; under Wine, one that socat makes and Wine knows as COM7.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return !m_portName.isEmpty(); }
    QString portName() const { return m_portName; }
    // Sends as the device would; false unless every byte went in.
    bool write(const QByteArray &bytes);
    // Whatever has reached the device since the last call.
    QByteArray readAll();
    // Pulls the plug: the device side goes away and the port sees a hang-up.
    void unplug();
#ifdef Q_OS_UNIX
    // Hangs the line up while the device side stays; false if the kernel refused.
    bool hangUp();
    int masterDescriptor() const { return m_master; }
#endif

private:
    QString m_portName;
#ifdef Q_OS_UNIX
    int m_master = -1;
#else
    quintptr m_socket = ~quintptr(0); // a SOCKET; INVALID_SOCKET when unplugged
#endif
};

#endif // PSEUDOTERMINAL_H
