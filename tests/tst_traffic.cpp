#include "modalcatcher.h"
#include "terminalrig.h"
#include "windowhelpers.h"

#include <QCheckBox>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextEdit>
#include <QtTest>

namespace {

// A log line as users read it: local time to the second, tag, payload.
QRegularExpressionMatch matchLine(const QString &line)
{
    static const QRegularExpression format(
            QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)( \\[send\\] | \\[recieve\\] )(.*)$"));
    return format.match(line);
}

} // namespace

// Sending hex text, receiving bytes, and the log of both, on real pseudo-terminals.
class TestTraffic : public QObject
{
    Q_OBJECT

private slots:
    void sendWritesBytesAndLogsTheText();
    void receivedChunkIsLoggedAsLowercaseHex();
    void chunksAndSendsStayInOrder();
    void hexTexts_data();
    void hexTexts();
    void logKeepsTheUsersSelection();
    void logFollowsOnlyWhileAtTheBottom();
};

void TestTraffic::sendWritesBytesAndLogsTheText()
{
    TerminalRig rig;
    QVERIFY(rig.open());

    const QDateTime before = QDateTime::currentDateTime().addMSecs(-1000);
    rig.send("01 A0 ff");
    QTRY_COMPARE(rig.deviceReceived(), QByteArray::fromHex("01a0ff"));
    QTRY_COMPARE(rig.logLines().size(), 1);
    const QDateTime after = QDateTime::currentDateTime();

    const QRegularExpressionMatch line = matchLine(rig.logLines().first());
    QVERIFY2(line.hasMatch(), qPrintable(rig.logLines().first()));
    QCOMPARE(line.captured(2), QString(" [send] "));
    QCOMPARE(line.captured(3), QString("01 A0 ff"));
    const QDateTime stamp = QDateTime::fromString(line.captured(1), "yyyy-MM-dd hh:mm:ss");
    QVERIFY(stamp >= before && stamp <= after);
    QVERIFY(rig.comLog->toPlainText().endsWith("01 A0 ff\n"));
    // The message stays, ready to be sent again.
    QCOMPARE(rig.message->toPlainText(), QString("01 A0 ff"));
}

void TestTraffic::receivedChunkIsLoggedAsLowercaseHex()
{
    TerminalRig rig;
    QVERIFY(rig.open());

    QVERIFY(rig.device.write(QByteArray::fromHex("0102abff")));
    QTRY_COMPARE(rig.logLines().size(), 1);
    const QRegularExpressionMatch line = matchLine(rig.logLines().first());
    QVERIFY2(line.hasMatch(), qPrintable(rig.logLines().first()));
    QCOMPARE(line.captured(2), QString(" [recieve] "));
    QCOMPARE(line.captured(3), QString("0102abff"));
}

void TestTraffic::chunksAndSendsStayInOrder()
{
    TerminalRig rig;
    QVERIFY(rig.open());

    QStringList expected;
    for (int i = 0; i < 5; ++i) {
        const QByteArray chunk = QByteArray(i + 1, char(0x10 + i));
        QVERIFY(rig.device.write(chunk));
        QTRY_VERIFY(rig.port->bytesAvailable() == 0 && rig.comLog->toPlainText().contains(chunk.toHex()));
        expected << " [recieve] " + chunk.toHex();
        rig.send(QString::number(i, 16).rightJustified(2, '0'));
        expected << " [send] " + QString::number(i, 16).rightJustified(2, '0');
    }
    QTRY_COMPARE(rig.logLines().size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(rig.logLines().at(i).endsWith(expected.at(i)), qPrintable(rig.logLines().at(i)));
}

void TestTraffic::hexTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("pairs with spaces") << "01 A0 ff" << true << QByteArray::fromHex("01a0ff");
    QTest::newRow("one run") << "0102abff" << true << QByteArray::fromHex("0102abff");
    QTest::newRow("mixed groups") << "01A0 ff" << true << QByteArray::fromHex("01a0ff");
    QTest::newRow("tabs and lines") << "\t00\n7F \r\n80  " << true << QByteArray::fromHex("007f80");
    QTest::newRow("empty") << "" << true << QByteArray();
    QTest::newRow("only white space") << " \n\t " << true << QByteArray();
    QTest::newRow("only line breaks") << "\n\n\n" << true << QByteArray();
    // Each of these used to send a byte nobody typed.
    QTest::newRow("word") << "hello" << false << QByteArray();
    QTest::newRow("odd group") << "12 3" << false << QByteArray();
    QTest::newRow("odd run") << "abc" << false << QByteArray();
    QTest::newRow("C prefix") << "0x1F" << false << QByteArray();
    QTest::newRow("accented letter") << "é" << false << QByteArray();
    QTest::newRow("Chinese") << "十六" << false << QByteArray();
    QTest::newRow("emoji") << "01 \U0001F600" << false << QByteArray();
    QTest::newRow("full-width digits") << "\uFF10\uFF11" << false << QByteArray();
}

void TestTraffic::hexTexts()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QByteArray, bytes);

    TerminalRig rig;
    QVERIFY(rig.open());
    ModalCatcher catcher;
    rig.send(text);

    if (valid) {
        // The payload is the text as the message box holds it.
        const QString typed = rig.message->toPlainText();
        QTRY_COMPARE(rig.logLines().size(), typed.count('\n') + 1);
        QVERIFY(rig.comLog->toPlainText().endsWith(" [send] " + typed + "\n"));
        QTRY_COMPARE(rig.deviceReceived(), bytes);
        QVERIFY(catcher.boxes().isEmpty());
    } else {
        QCOMPARE(catcher.boxes().size(), 1);
        QCOMPARE(catcher.boxes().first().title, QString("Tip"));
        QCOMPARE(catcher.boxes().first().text, QString("发送内容不是有效的十六进制数据"));
        QCOMPARE(catcher.boxes().first().icon, QMessageBox::Warning);
        QTest::qWait(50);
        QCOMPARE(rig.deviceReceived(), QByteArray());
        QVERIFY(rig.comLog->toPlainText().isEmpty());
        QCOMPARE(rig.message->toPlainText(), text);
        QVERIFY(rig.port->isOpen());
    }
}

void TestTraffic::logKeepsTheUsersSelection()
{
    TerminalRig rig;
    QVERIFY(rig.open());
    QVERIFY(rig.device.write(QByteArray::fromHex("aa")));
    QTRY_COMPARE(rig.logLines().size(), 1);
    QVERIFY(rig.device.write(QByteArray::fromHex("bb")));
    QTRY_COMPARE(rig.logLines().size(), 2);

    // The user selects the first line to copy it...
    QTextCursor selection(rig.comLog->document()->firstBlock());
    selection.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    rig.comLog->setTextCursor(selection);
    const QString selected = selection.selectedText();
    QVERIFY(selected.endsWith(" [recieve] aa"));

    // ...while more lines arrive: they go after the others and the selection stays.
    QVERIFY(rig.device.write(QByteArray::fromHex("cc")));
    QTRY_COMPARE(rig.logLines().size(), 3);
    rig.send("dd");
    QTRY_COMPARE(rig.logLines().size(), 4);
    QCOMPARE(rig.comLog->textCursor().selectedText(), selected);
    QVERIFY(rig.logLines().at(0).endsWith(" [recieve] aa"));
    QVERIFY(rig.logLines().at(1).endsWith(" [recieve] bb"));
    QVERIFY(rig.logLines().at(2).endsWith(" [recieve] cc"));
    QVERIFY(rig.logLines().at(3).endsWith(" [send] dd"));
}

void TestTraffic::logFollowsOnlyWhileAtTheBottom()
{
    TerminalRig rig;
    QVERIFY(rig.open());
    QScrollBar *bar = rig.comLog->verticalScrollBar();

    for (int i = 0; i < 60; ++i)
        rig.send("0a");
    QTRY_COMPARE(rig.logLines().size(), 60);
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());

    // Scrolled up to read: new lines leave the view where it is.
    bar->setValue(bar->maximum() / 2);
    const int reading = bar->value();
    const QString topLine = rig.comLog->cursorForPosition(QPoint(0, 0)).block().text();
    rig.send("0b");
    QTRY_COMPARE(rig.logLines().size(), 61);
    QCOMPARE(bar->value(), reading);
    QCOMPARE(rig.comLog->cursorForPosition(QPoint(0, 0)).block().text(), topLine);

    // Back at the bottom, the view follows again.
    bar->setValue(bar->maximum());
    rig.send("0c");
    QTRY_COMPARE(rig.logLines().size(), 62);
    QCOMPARE(bar->value(), bar->maximum());
}

QTEST_MAIN(TestTraffic)
#include "tst_traffic.moc"
