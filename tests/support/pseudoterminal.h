#ifndef PSEUDOTERMINAL_H
#define PSEUDOTERMINAL_H

#include <QByteArray>
#include <QString>

// A kernel pseudo-terminal. The test holds the master side and plays the device;
// Wirelet opens the slave path like any serial port.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    // The device side, non-blocking, for producers that write on their own.
    int masterDescriptor() const { return m_master; }

    // Sends as the device would; false unless every byte went in.
    bool write(const QByteArray &bytes);
    // Whatever the port has written so far (the master never blocks).
    QByteArray readAll();
    // Pulls the plug: the device side goes away and the port sees a hang-up.
    void unplug();
    // Hangs the line up while the device side stays; false if the kernel refused.
    bool hangUp();

private:
    int m_master = -1;
    QString m_slavePath;
};

#endif // PSEUDOTERMINAL_H
