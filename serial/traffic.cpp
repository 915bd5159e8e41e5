#include "commlog.h"
#include "hexmessage.h"
#include "logline.h"
#include "mainwindow.h"
#include "warning.h"


void MainWindow::sendMsg(const QString &text)
{
    const std::optional<QByteArray> bytes = decodeHexMessage(text);
    if (!bytes) {
        showWarning(QStringLiteral("发送内容不是有效的十六进制数据"));
        return;
    }
    // Logged only once every byte is on its way; a port that refuses them is gone.
    if (serialPort->write(*bytes) != bytes->size()) {
        dropLostPort();
        return;
    }
    commLog->append(logLine(SendTag, text));
}

void MainWindow::recvMsg()
{
    const QByteArray bytes = serialPort->readAll();
    commLog->append(logLine(ReceiveTag,
                            QString::fromLatin1(bytes.toHex())));
}
