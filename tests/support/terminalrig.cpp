#include "terminalrig.h"
#include "modalcatcher.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTest>
#include <QTextBrowser>
#include <QTextEdit>

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
    // The middle of the stretched box would miss it.
    QStyleOptionButton option;
    option.initFrom(openCom);
    const QRect box = openCom->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option,
                                                       openCom);
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
    return m_received += device.readAll();
}

QStringList TerminalRig::logLines() const
{
    QStringList lines = comLog->toPlainText().split(QLatin1Char('\n'));
    lines.removeLast(); // after the last line break
    return lines;
}

void selectPort(MainWindow &window, const QString &path)
{
    auto *portName = window.findChild<QComboBox *>(QStringLiteral("portName"));
    portName->addItem(path);
    portName->setCurrentIndex(portName->count() - 1);
}

#ifdef Q_OS_UNIX
#include "busyport.h"
#include <unistd.h>

QStringList portLocksHeldHere()
{
    QStringList held;
    const QDir locks(QFileInfo(portLockFilePath(QStringLiteral("/dev/none"))).path());
    const QByteArray pid = QByteArray::number(qint64(::getpid()));
    for (const QString &name : locks.entryList({"LCK..*"}, QDir::Files | QDir::System)) {
        QFile lock(locks.filePath(name));
        if (lock.open(QIODevice::ReadOnly) && lock.readLine().trimmed() == pid)
            held.append(name);
    }
    return held;
}
#endif
