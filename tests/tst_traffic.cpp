#include "modalcatcher.h"
#include "terminalrig.h"

#include <QCheckBox>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QtTest>

// Sending hex text and the log of what went out and came in, on real pseudo-terminals.
class TestTraffic : public QObject
{
    Q_OBJECT

private slots:
    void hexTexts_data();
    void hexTexts();
#ifdef Q_OS_UNIX // needs a device that stops taking bytes
    void sendIsLoggedOnceWrittenAndDrainedOnClose();
    void closeGivesUpOnBytesTheDeviceNeverTakes();
#endif
    void failedWriteIsNotLogged();
    void logKeepsSelectionAndFollowsOnlyAtTheBottom();
};

void TestTraffic::hexTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("logged");

    const QByteArray bytes("\x01\xa0\xff");
    QTest::newRow("pairs") << "01 A0 ff" << bytes << true << "01 A0 ff";
    QTest::newRow("one run") << "01a0FF" << bytes << true << "01a0FF";
    QTest::newRow("mixed groups") << "01A0 ff" << bytes << true << "01A0 ff";
    // One event, one line: each line break is logged as one space.
    QTest::newRow("line breaks") << "01\r\nA0\tff\n\r" << bytes << true << "01 A0\tff  ";
    QTest::newRow("empty") << "" << QByteArray() << true << "";
    // Each of these used to send bytes nobody typed.
    for (const char *text : {"hello", "12 3", "abc", "0x1F", "é", "十六", "01 😀", "０１"})
        QTest::newRow(text) << QString::fromUtf8(text) << QByteArray() << false << QString();
}

void TestTraffic::hexTexts()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, accepted);
    QFETCH(QString, logged);

    TerminalRig rig;
    QVERIFY(rig.clickOpenCom());
    ModalCatcher catcher;
    rig.window->sendMsg(text);
    QTest::qWait(50);
    QCOMPARE(rig.deviceReceived(), bytes);
    if (!accepted) {
        QCOMPARE(catcher.texts(), QStringList{"发送内容不是有效的十六进制数据"});
        QCOMPARE(catcher.boxes().first().title, QString("Tip"));
        QCOMPARE(catcher.boxes().first().icon, QMessageBox::Warning);
        QVERIFY(rig.logLines().isEmpty());
        QVERIFY(rig.port->isOpen());
    } else {
        QVERIFY(catcher.boxes().isEmpty());
        QTRY_COMPARE(rig.logLines().size(), 1);
        QCOMPARE(rig.logLines().first().mid(19), " [send] " + logged);
    }
}

#ifdef Q_OS_UNIX
void TestTraffic::sendIsLoggedOnceWrittenAndDrainedOnClose()
{
    TerminalRig rig;
    QVERIFY(rig.clickOpenCom());
    // More than the pseudo-terminal holds while its device reads nothing.
    const QByteArray bytes(64 * 1024, '\x5a');
    rig.send(QString::fromLatin1(bytes.toHex()));
    QTRY_VERIFY(!rig.deviceReceived().isEmpty());
    QVERIFY(rig.port->bytesToWrite() > 0);
    // The device answers while the message is on its way: that is logged first.
    QVERIFY(rig.device.write("\x01"));
    QTRY_COMPARE(rig.logLines().size(), 1);

    // Unticking lets the queue drain first; the box cannot reopen the port meanwhile.
    ModalCatcher catcher;
    QVERIFY(rig.clickOpenCom());
    QVERIFY(!rig.openCom->isEnabled());
    QTRY_COMPARE(rig.deviceReceived(), bytes);
    QTRY_VERIFY(!rig.port->isOpen());
    QVERIFY(rig.openCom->isEnabled());
    QTRY_COMPARE(rig.logLines().size(), 2);
    QVERIFY(rig.logLines().at(0).endsWith(" [recieve] 01"));
    QVERIFY(rig.logLines().at(1).endsWith(" [send] " + bytes.toHex()));
    QVERIFY(catcher.boxes().isEmpty());
}

void TestTraffic::closeGivesUpOnBytesTheDeviceNeverTakes()
{
    TerminalRig rig;
    QVERIFY(rig.clickOpenCom());
    const QByteArray bytes(64 * 1024, '\x5a');
    rig.send(QString::fromLatin1(bytes.toHex()));
    QTRY_VERIFY(!rig.deviceReceived().isEmpty());

    // At 9600 baud the queue needs a minute; three seconds is the most the close waits.
    ModalCatcher catcher;
    QElapsedTimer waited;
    waited.start();
    rig.clickOpenCom();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.port->isOpen(), 5000);
    QVERIFY2(waited.elapsed() > 2500 && waited.elapsed() < 4000,
             qPrintable(QString::number(waited.elapsed())));
    QCOMPARE(catcher.texts(), QStringList{"串口关闭时仍有数据未发送"});
    QCOMPARE(catcher.boxes().first().title, QString("Tip"));
    QVERIFY(rig.deviceReceived().size() < bytes.size());
    QTest::qWait(100);
    QVERIFY(rig.logLines().isEmpty()); // it did not go out whole
}

#endif

void TestTraffic::failedWriteIsNotLogged()
{
    TerminalRig rig;
    QVERIFY(rig.clickOpenCom());
    ModalCatcher catcher;
    rig.device.unplug();
    rig.send("0102");
    QTRY_COMPARE(catcher.texts(), QStringList{"串口已断开"});
    QTest::qWait(100);
    QVERIFY(rig.logLines().isEmpty());
}

void TestTraffic::logKeepsSelectionAndFollowsOnlyAtTheBottom()
{
    TerminalRig rig;
    QVERIFY(rig.clickOpenCom());
    QScrollBar *bar = rig.comLog->verticalScrollBar();
    for (int i = 0; i < 60; ++i) {
        QVERIFY(rig.device.write(QByteArray(1, char(i))));
        QTRY_COMPARE(rig.logLines().size(), i + 1);
    }
    QCOMPARE(bar->value(), bar->maximum());

    // The user selects the first line and scrolls up to read.
    QTextCursor selection(rig.comLog->document()->firstBlock());
    selection.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    rig.comLog->setTextCursor(selection);
    bar->setValue(bar->maximum() / 2);
    const int reading = bar->value();
    rig.send("aa");
    QTRY_COMPARE(rig.logLines().size(), 61);
    QVERIFY(rig.logLines().last().endsWith(" [send] aa"));
    QVERIFY(rig.comLog->textCursor().selectedText().endsWith(" [recieve] 00"));
    QCOMPARE(bar->value(), reading);

    // Back at the bottom, the view follows again.
    bar->setValue(bar->maximum());
    rig.send("bb");
    QTRY_COMPARE(rig.logLines().size(), 62);
    QCOMPARE(bar->value(), bar->maximum());
}

QTEST_MAIN(TestTraffic)
#include "tst_traffic.moc"
