#ifndef RIG_H
#define RIG_H

#include "mainwindow.h"

#include <QStringList>
#include <QTimer>
#include <memory>

class QCheckBox;
class QPushButton;
class QTextBrowser;
class QTextEdit;

// The device end of a line, played by the test; Wirelet opens portName() like any serial port.
// On Unix a kernel pseudo-terminal; under Wine, one that socat makes and Wine knows as COM7.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal() { unplug(); }
    bool isValid() const { return !m_portName.isEmpty(); }
    QString portName() const { return m_portName; }
    bool write(const QByteArray &bytes); // false unless every byte went in
    QByteArray readAll(); // what reached the device since the last call
    void unplug(); // the device side goes away; the port sees a hang-up
#ifdef Q_OS_UNIX
    bool hangUp(); // the line hangs up while the device side stays
    int master() const { return m_handle; }
#endif

private:
    Q_DISABLE_COPY(PseudoTerminal)
    QString m_portName;
    qintptr m_handle = -1; // the master's descriptor, or under Wine a socket
};

// Answers the modal message boxes raised while it lives and records each as "title: text",
// marked when it is not a plain warning without parent. Create it before the code that
// raises one: the box's own event loop runs its timer.
struct ModalCatcher
{
    ModalCatcher();
    QStringList boxes;
    bool mainWindowShownUnderABox = false;
    QTimer poll;
};

// A shown main window whose port list offers the device's port. The window goes first, so
// the port closes before the device goes away.
struct TerminalRig
{
    TerminalRig();
    bool clickOpenCom(); // on its indicator, as a user would; true when open afterwards
    void send(const QString &text);
    QByteArray deviceReceived(); // everything so far
    QStringList logLines() const;

    PseudoTerminal device;
    std::unique_ptr<MainWindow> window;
    QCheckBox *openCom;
    QPushButton *btnSend;
    QTextEdit *message;
    QTextBrowser *comLog;
    QSerialPort *port;
    QByteArray received;
};

// Offers `name` in the window's port list and selects it, as if discovery had found it.
void selectPort(MainWindow &window, const QString &name);
double cpuSeconds(); // of this process, user and system
#ifdef Q_OS_UNIX
QStringList portLocksHeldHere();
#endif

#endif // RIG_H
