#ifndef RIG_H
#define RIG_H

#include "app/mainwindow.h"
#include "serial/portsession.h"

#include <QtTest>
#include <QtWidgets>
#include <memory>
#include <utility>

// The device end of a line, played by the test: on Unix a kernel pseudo-terminal, under Wine
// one that socat makes and Wine knows as COM7.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal() { unplug(); }
    QString portName() const { return m_portName; }
    bool write(const QByteArray &bytes); // false unless every byte went in
    QByteArray readAll(); // what reached the device since the last call
    void unplug(); // the device side goes away; the port sees a hang-up
#ifdef Q_OS_UNIX
    int master() const { return int(m_handle); }
#endif

private:
    Q_DISABLE_COPY(PseudoTerminal)
    QString m_portName;
    qintptr m_handle = -1; // the master's descriptor, or under Wine a socket
};

template <class T>
T *child(const QObject *parent, const char *name = nullptr)
{
    T *found = parent->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no child %s", name ? name : "of that type");
    return found;
}

// Answers each modal box raised while it lives and records it as "title: text", marked when it
// is not a plain warning without parent. Create it before the code that raises one.
struct ModalCatcher
{
    QStringList boxes;
    QTimer poll;

    ModalCatcher()
    {
        QObject::connect(&poll, &QTimer::timeout, &poll, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            const bool plain = box->icon() == QMessageBox::Warning && !box->parentWidget()
                    && box->standardButtons() == QMessageBox::Ok;
            boxes.append(QString(plain ? "" : "(not a plain warning) ") + box->windowTitle()
                         + ": " + box->text());
            box->done(QMessageBox::Ok);
        });
        poll.start(5);
    }
};

// A shown main window, made here or main()'s, whose port list offers the device's port, and the
// boxes raised since. The window goes first, so the port closes before the device goes away.
struct TerminalRig : ModalCatcher
{
    PseudoTerminal device;
    std::unique_ptr<MainWindow> made;
    MainWindow *window;
    QCheckBox *openCom = child<QCheckBox>(window, "openCom");
    QPushButton *btnSend = child<QPushButton>(window, "btnSend");
    QTextEdit *message = child<QTextEdit>(window, "message");
    QTextBrowser *comLog = child<QTextBrowser>(window, "comLog");
    QSerialPort *port = child<QSerialPort>(window);
    PortSession *session = child<PortSession>(window);
    QByteArray received;

    explicit TerminalRig(MainWindow *shown = nullptr)
        : made(shown ? nullptr : new MainWindow), window(shown ? shown : made.get())
    {
        boxes.clear(); // on a machine without serial ports
        offer(device.portName());
        window->show();
    }
    void offer(const QString &port) // in the port list, selected, as if discovery had found it
    {
        auto *portName = child<QComboBox>(window, "portName");
        portName->addItem(port);
        portName->setCurrentIndex(portName->count() - 1);
    }
    bool toggle() // the open box, once a close has ended; true when the port is open afterwards
    {
        openCom->click();
        if (!QTest::qWaitFor([this] { return openCom->isEnabled(); }))
            qWarning("the port is still closing");
        return port->isOpen();
    }
    void chooseLineSettings(const QStringList &texts) // baud rate, data bits, stop bits, parity
    {
        const char *names[] = {"baudRate", "dataBits", "stopBits", "parity"};
        for (int i = 0; i < 4; ++i) {
            auto *box = child<QComboBox>(window, names[i]);
            box->setCurrentIndex(box->findText(texts.at(i)));
        }
    }
    void send(const QString &text)
    {
        message->setPlainText(text);
        btnSend->click();
    }
    QByteArray deviceReceived() { return received += device.readAll(); } // everything so far
    // Quick sends to a device that echoes them: at every line of the log, no more bytes have
    // been answered than sent. Fails the running test otherwise.
    void checkRepliesFollowRequests()
    {
        for (int i = 0; i < 100; ++i) {
            send("010203");
            QTest::qWait(5);
        }
        const auto bytes = [](const QStringList &lines) {
            int count = 0;
            for (const QString &line : lines)
                count += line.section("] ", 1).size() / 2;
            return count;
        };
        QTRY_COMPARE(bytes(logLines().filter(" [recieve] ")), 300);
        const QStringList lines = logLines();
        for (int i = 0; i < lines.size(); ++i) {
            const QStringList upToHere = lines.mid(0, i + 1);
            QVERIFY2(bytes(upToHere.filter(" [recieve] ")) <= bytes(upToHere.filter(" [send] ")),
                     qPrintable(lines[i]));
        }
    }
    QStringList logLines() const { return comLog->toPlainText().split('\n', Qt::SkipEmptyParts); }
};

#endif // RIG_H
