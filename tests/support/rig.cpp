#include "rig.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTest>
#include <QTextBrowser>
#include <QTextEdit>

ModalCatcher::ModalCatcher()
{
    QObject::connect(&poll, &QTimer::timeout, [this] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        const bool plain = box->icon() == QMessageBox::Warning && !box->parentWidget()
                && box->standardButtons() == QMessageBox::Ok;
        boxes.append((plain ? QString() : QStringLiteral("(not a plain warning) "))
                     + box->windowTitle() + QStringLiteral(": ") + box->text());
        for (QWidget *window : QApplication::topLevelWidgets())
            mainWindowShownUnderABox |= qobject_cast<MainWindow *>(window) && window->isVisible();
        box->done(QMessageBox::Ok);
    });
    poll.start(5);
}

TerminalRig::TerminalRig()
{
    {
        ModalCatcher noIdlePort; // on a machine without serial ports
        window = std::make_unique<MainWindow>();
    }
    openCom = window->findChild<QCheckBox *>(QStringLiteral("openCom"));
    btnSend = window->findChild<QPushButton *>(QStringLiteral("btnSend"));
    message = window->findChild<QTextEdit *>(QStringLiteral("message"));
    comLog = window->findChild<QTextBrowser *>(QStringLiteral("comLog"));
    port = window->findChild<QSerialPort *>();
    Q_ASSERT(device.isValid() && openCom && btnSend && message && comLog && port);
    selectPort(*window, device.portName());
    window->show();
}

bool TerminalRig::clickOpenCom()
{
    QStyleOptionButton option; // the middle of the stretched box would miss it
    option.initFrom(openCom);
    const QStyle *style = openCom->style();
    const QRect box = style->subElementRect(QStyle::SE_CheckBoxIndicator, &option, openCom);
    QTest::mouseClick(openCom, Qt::LeftButton, Qt::NoModifier, box.center());
    return port->isOpen();
}

void TerminalRig::send(const QString &text)
{
    message->setPlainText(text);
    QTest::mouseClick(btnSend, Qt::LeftButton);
}

QByteArray TerminalRig::deviceReceived()
{
    return received += device.readAll();
}

QStringList TerminalRig::logLines() const
{
    QStringList lines = comLog->toPlainText().split(QLatin1Char('\n'));
    lines.removeLast(); // after the last line break
    return lines;
}

void selectPort(MainWindow &window, const QString &name)
{
    auto *portName = window.findChild<QComboBox *>(QStringLiteral("portName"));
    portName->addItem(name);
    portName->setCurrentIndex(portName->count() - 1);
}

#ifdef Q_OS_WIN
#include <qt_windows.h>

double cpuSeconds()
{
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto seconds = [](FILETIME t) {
        return double(quint64(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}
#else
#include "busyport.h"
#include <QDir>
#include <sys/resource.h>
#include <unistd.h>

double cpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QStringList portLocksHeldHere()
{
    QStringList held;
    const QDir locks(QFileInfo(portLockFilePath(QStringLiteral("/dev/none"))).path());
    for (const QString &name : locks.entryList({"LCK..*"}, QDir::Files | QDir::System)) {
        QFile lock(locks.filePath(name));
        if (lock.open(QIODevice::ReadOnly) && lock.readLine().trimmed().toLong() == ::getpid())
            held.append(name);
    }
    return held;
}
#endif
