#ifndef TERMINALRIG_H
#define TERMINALRIG_H

#include "mainwindow.h"
#include "pseudoterminal.h"

#include <QStringList>
#include <functional>
#include <memory>

class QCheckBox;
class QPushButton;
class QTextBrowser;
class QTextEdit;

// A shown main window whose port list offers a fresh pseudo-terminal; the test plays the
// device on its other side. The window goes first, so the port closes before the hang-up.
struct TerminalRig
{
    TerminalRig();

    // Clicks openCom on its indicator, as a user would; true when the port is open afterwards.
    bool clickOpenCom();
    void send(const QString &text);
    // Everything the device has received so far.
    QByteArray deviceReceived();
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

// Offers `path` in the window's port list and selects it, as if discovery had found it.
void selectPort(MainWindow &window, const QString &path);

#ifdef Q_OS_UNIX
// The serial-port lock files this process holds.
QStringList portLocksHeldHere();
#endif

#endif // TERMINALRIG_H
