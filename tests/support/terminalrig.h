#ifndef TERMINALRIG_H
#define TERMINALRIG_H

#include "mainwindow.h"
#include "pseudoterminal.h"

#include <QStringList>
#include <memory>

class QCheckBox;
class QPushButton;
class QSerialPort;
class QTextBrowser;
class QTextEdit;

// A shown main window whose selected port is a fresh pseudo-terminal; the test holds the
// device side. The window goes before the device, so the port is closed before the hang-up.
struct TerminalRig
{
    TerminalRig();

    // Checks openCom as a user would; true when the port is open afterwards.
    bool open();
    // Types the text into the message box and presses the send button.
    void send(const QString &text);
    // Everything the device has received from the port so far.
    QByteArray deviceReceived();
    // The lines of the log view, without their line breaks.
    QStringList logLines() const;

    PseudoTerminal device;
    std::unique_ptr<MainWindow> window;
    QCheckBox *openCom = nullptr;
    QPushButton *btnSend = nullptr;
    QTextEdit *message = nullptr;
    QTextBrowser *comLog = nullptr;
    QSerialPort *port = nullptr;

private:
    QByteArray m_received;
};

#endif // TERMINALRIG_H
