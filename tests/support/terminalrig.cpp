#include "terminalrig.h"
#include "windowhelpers.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSerialPort>
#include <QTest>
#include <QTextBrowser>
#include <QTextEdit>

TerminalRig::TerminalRig()
    : window(newWindow())
{
    openCom = window->findChild<QCheckBox *>(QStringLiteral("openCom"));
    btnSend = window->findChild<QPushButton *>(QStringLiteral("btnSend"));
    message = window->findChild<QTextEdit *>(QStringLiteral("message"));
    comLog = window->findChild<QTextBrowser *>(QStringLiteral("comLog"));
    port = window->findChild<QSerialPort *>();
    Q_ASSERT(device.isValid() && openCom && btnSend && message && comLog && port);
    selectPort(*window, device.slavePath());
    window->show();
}

bool TerminalRig::open()
{
    clickIndicator(openCom);
    return port->isOpen();
}

void TerminalRig::send(const QString &text)
{
    message->setPlainText(text);
    QTest::mouseClick(btnSend, Qt::LeftButton);
}

QByteArray TerminalRig::deviceReceived()
{
    m_received += device.readAll();
    return m_received;
}

QStringList TerminalRig::logLines() const
{
    QStringList lines = comLog->toPlainText().split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
