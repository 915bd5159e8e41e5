#include "commlog.h"
#include "placement.h"
#include "rig.h"
#include "wine.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextEdit>
#include <QtTest>

// The window as users work it, with the test playing the device: opening, configuring and
// closing the port, sending, receiving, the log, the window itself and its about dialog.
class TestTerminal : public QObject
{
    Q_OBJECT

private slots:
    void openSendReceiveClose();
    void failedOpenIsNotLeftChecked();
    void deviceLossClosesOnceWithoutSpinning_data();
    void deviceLossClosesOnceWithoutSpinning();
    void hexTexts_data();
    void hexTexts();
    void failedWriteIsNotLogged();
    void logKeepsSelectionAndFollowsOnlyAtTheBottom();
    void logBoundKeepsTheNewestWholeLines_data();
    void logBoundKeepsTheNewestWholeLines();
    void placement_data();
    void placement();
    void aboutDialogShowsItsPictures();
    void closingTheWindowClosesThePort();
#ifdef Q_OS_UNIX // on devices that stop taking bytes, or that tell the line settings
    void closingLetsQueuedBytesDrain();
    void lineSettingsReachTheSystem_data();
    void lineSettingsReachTheSystem();
    void reopeningLeaksNothing();
#endif
};

namespace {

// Baud rate, data bits, stop bits, parity.
void chooseLineSettings(MainWindow &window, const QStringList &texts)
{
    const char *names[] = {"baudRate", "dataBits", "stopBits", "parity"};
    for (int i = 0; i < 4; ++i) {
        auto *box = window.findChild<QComboBox *>(names[i]);
        box->setCurrentIndex(box->findText(texts.at(i)));
    }
}

QWidget *aboutDialog()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "AboutDialog")
            return widget;
    }
    return nullptr;
}

} // namespace

void TestTerminal::openSendReceiveClose()
{
    TerminalRig rig;
    ModalCatcher catcher;
    QVERIFY(!rig.btnSend->isEnabled());
    chooseLineSettings(*rig.window, {"38400", "7", "2", "EvenParity"});
    QVERIFY(rig.clickOpenCom());
    QVERIFY(rig.btnSend->isEnabled());
    // Under Wine, Qt reads only when nudged; nowhere else is it nudged.
    const auto *nudge = rig.window->findChild<QTimer *>("wineReadNudge");
    QCOMPARE(nudge && nudge->isActive(), runningUnderWine());

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    rig.send("01 A0 ff");
    QTRY_COMPARE(rig.deviceReceived(), QByteArray("\x01\xa0\xff"));
    QTRY_COMPARE(rig.logLines().size(), 1);
    QVERIFY(rig.device.write("\x01\x02\xab\xff"));
    QTRY_COMPARE(rig.logLines().size(), 2);
    const QStringList payloads = {" [send] 01 A0 ff", " [recieve] 0102abff"};
    for (int i = 0; i < 2; ++i) {
        const QString line = rig.logLines().at(i);
        const QDateTime stamp = QDateTime::fromString(line.left(19), "yyyy-MM-dd hh:mm:ss");
        QVERIFY2(stamp >= before && stamp <= QDateTime::currentDateTime(), qPrintable(line));
        QCOMPARE(line.mid(19), payloads.at(i));
    }
    QCOMPARE(rig.message->toPlainText(), QString("01 A0 ff")); // ready to be sent again

    QVERIFY(!rig.clickOpenCom());
    QVERIFY(!rig.openCom->isChecked() && !rig.btnSend->isEnabled());
    // What the device says while the port is closed is never logged, not even once reopened.
    QVERIFY(rig.device.write("\xde\xad"));
    QTest::qWait(50);
    QVERIFY(rig.clickOpenCom());
    QTest::qWait(100);
    QCOMPARE(rig.logLines().size(), 2);
    QVERIFY(catcher.boxes.isEmpty());
}

void TestTerminal::failedOpenIsNotLeftChecked()
{
    TerminalRig rig;
    selectPort(*rig.window, QDir::temp().filePath("wirelet-no-such-port"));
    {
        ModalCatcher catcher;
        QVERIFY(!rig.clickOpenCom());
        QCOMPARE(catcher.boxes, QStringList{"Tip: 串口打开失败"});
    }
    QVERIFY(!rig.openCom->isChecked() && !rig.btnSend->isEnabled());
    selectPort(*rig.window, rig.device.portName());
    QVERIFY(rig.clickOpenCom()); // one click retries
}

void TestTerminal::deviceLossClosesOnceWithoutSpinning_data()
{
    QTest::addColumn<bool>("hangUp");
    QTest::newRow("device side closed") << false;
#ifdef Q_OS_UNIX
    QTest::newRow("line hung up") << true;
#endif
}

void TestTerminal::deviceLossClosesOnceWithoutSpinning()
{
    QFETCH(bool, hangUp);
    TerminalRig rig;
    ModalCatcher catcher;
    QVERIFY(rig.clickOpenCom());
#ifdef Q_OS_UNIX
    if (hangUp)
        QVERIFY(rig.device.hangUp());
#endif
    if (!hangUp)
        rig.device.unplug();
    QTRY_COMPARE(catcher.boxes, QStringList{"Tip: 串口已断开"});
    QVERIFY(!rig.port->isOpen() && !rig.openCom->isChecked() && !rig.btnSend->isEnabled());
    // Qt 5 reports the error again and again while a hung-up port stays open.
    const double before = cpuSeconds();
    QTest::qWait(300);
    QVERIFY2(cpuSeconds() - before < 0.1, "busy after the loss");
    QCOMPARE(catcher.boxes.size(), 1);
}

void TestTerminal::hexTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("logged"); // after " [send] ", or the warning when refused

    const QByteArray bytes("\x01\xa0\xff");
    QTest::newRow("pairs") << "01 A0 ff" << bytes << "01 A0 ff";
    QTest::newRow("one run") << "01a0FF" << bytes << "01a0FF";
    QTest::newRow("mixed groups") << "01A0 ff" << bytes << "01A0 ff";
    // One event, one line: each line break is logged as one space.
    QTest::newRow("line breaks") << "01\r\nA0\tff\n\r" << bytes << "01 A0\tff  ";
    QTest::newRow("empty") << "" << QByteArray() << "";
    // Each of these used to send bytes nobody typed.
    for (const char *text : {"hello", "12 3", "abc", "0x1F", "é", "十六", "01 😀", "０１"})
        QTest::newRow(text) << QString::fromUtf8(text) << QByteArray()
                            << "Tip: 发送内容不是有效的十六进制数据";
}

void TestTerminal::hexTexts()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, logged);
    TerminalRig rig;
    QVERIFY(rig.clickOpenCom());
    ModalCatcher catcher;
    rig.window->sendMsg(text);
    QTest::qWait(50);
    QCOMPARE(rig.deviceReceived(), bytes);
    const bool refused = logged.startsWith("Tip: ");
    QCOMPARE(catcher.boxes, refused ? QStringList{logged} : QStringList());
    QTRY_COMPARE(rig.logLines().size(), refused ? 0 : 1);
    if (!refused)
        QCOMPARE(rig.logLines().first().mid(19), " [send] " + logged);
}

void TestTerminal::failedWriteIsNotLogged()
{
    TerminalRig rig;
    QVERIFY(rig.clickOpenCom());
    ModalCatcher catcher;
    rig.device.unplug();
    rig.send("0102");
    QTRY_COMPARE(catcher.boxes, QStringList{"Tip: 串口已断开"});
    QTest::qWait(100);
    QVERIFY(rig.logLines().isEmpty());
}

void TestTerminal::logKeepsSelectionAndFollowsOnlyAtTheBottom()
{
    TerminalRig rig;
    QVERIFY(rig.clickOpenCom());
    QScrollBar *bar = rig.comLog->verticalScrollBar();
    for (int i = 0; i < 60; ++i)
        rig.window->sendMsg(QByteArray(1, char(i)).toHex());
    QTRY_COMPARE(rig.logLines().size(), 60);
    QCOMPARE(bar->value(), bar->maximum());
    // The user selects the first line and scrolls up to read.
    QTextCursor selection(rig.comLog->document()->firstBlock());
    selection.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    rig.comLog->setTextCursor(selection);
    bar->setValue(bar->maximum() / 2);
    const int reading = bar->value();
    QVERIFY(rig.device.write("\xaa"));
    QTRY_COMPARE(rig.logLines().size(), 61);
    QVERIFY(rig.logLines().last().endsWith(" [recieve] aa"));
    QVERIFY(rig.comLog->textCursor().selectedText().endsWith(" [send] 00"));
    QCOMPARE(bar->value(), reading);
    // Back at the bottom, the view follows again.
    bar->setValue(bar->maximum());
    rig.send("bb");
    QTRY_COMPARE(rig.logLines().size(), 62);
    QCOMPARE(bar->value(), bar->maximum());
}

void TestTerminal::logBoundKeepsTheNewestWholeLines_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("fewest"); // no more go than the bound asks
    QTest::newRow("short lines") << 20 << CommLog::MaxLines * 2 + 123 << CommLog::MaxLines * 9 / 10;
    QTest::newRow("64 KB chunks") << 131100 << 30 << 6;
    // A line longer than the bound stays whole, alone.
    QTest::newRow("overlong line") << CommLog::MaxCharacters + 10 << 2 << 1;
}

void TestTerminal::logBoundKeepsTheNewestWholeLines()
{
    QFETCH(int, width);
    QFETCH(int, count);
    QFETCH(int, fewest);
    QTextBrowser view;
    CommLog log(&view);
    for (int n = 0; n < count; ++n) {
        log.append(QString::number(n).leftJustified(width, QLatin1Char('a')) + QLatin1Char('\n'));
        if (n % 50 == 0)
            QCoreApplication::processEvents();
    }
    log.flush();
    QStringList lines = view.toPlainText().split(QLatin1Char('\n'));
    lines.removeLast();
    QVERIFY(lines.size() >= fewest && lines.size() <= CommLog::MaxLines);
    QVERIFY(lines.size() == 1 || view.document()->characterCount() <= CommLog::MaxCharacters);
    for (int i = 0; i < lines.size(); ++i) // the newest, in order, none missing
        QCOMPARE(lines.at(i).section(QLatin1Char('a'), 0, 0).toInt(), count - lines.size() + i);
}

void TestTerminal::placement_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("bar at the bottom") << QRect(0, 0, 1920, 1040) << QRect(622, 262, 676, 515);
    // The area's origin counts: the window must not land under a bar at the top or left.
    QTest::newRow("bar at the top") << QRect(0, 40, 1920, 1040) << QRect(622, 302, 676, 515);
    QTest::newRow("screen right of another") << QRect(1920, 0, 1280, 984)
                                             << QRect(2222, 234, 676, 515);
    QTest::newRow("narrow and low") << QRect(10, 20, 640, 480) << QRect(10, 50, 640, 480);
}

void TestTerminal::placement()
{
    QFETCH(QRect, available);
    QFETCH(QRect, expected);
    QCOMPARE(initialGeometry(available, QRect(0, 0, 676, 515), 30), expected);
}

void TestTerminal::aboutDialogShowsItsPictures()
{
    TerminalRig rig;
    QTest::mouseClick(rig.window->findChild<QPushButton *>("pushButton"), Qt::LeftButton);
    QVERIFY(QTest::qWaitForWindowExposed(aboutDialog()));
    QVERIFY(!aboutDialog()->isModal());
    // The pictures come from the compiled-in bundle; a missing one, or a missing image
    // plug-in, leaves its label one flat colour.
    for (const char *name : {"label_2", "label_4"}) {
        const QImage drawn = aboutDialog()->findChild<QLabel *>(name)->grab().toImage();
        int varied = 0;
        for (int y = 0; y < drawn.height(); y += 3)
            varied += drawn.pixel(y % drawn.width(), y) != drawn.pixel(0, 0);
        QVERIFY2(varied > 10, name);
    }
}

void TestTerminal::closingTheWindowClosesThePort()
{
    TerminalRig rig;
    QVERIFY(rig.clickOpenCom());
    rig.window->findChild<QPushButton *>("pushButton")->click();
    rig.send(QString::fromLatin1(QByteArray(64 * 1024, '\x33').toHex()));
    // The about dialog keeps the program running, but the port goes with the main window,
    // once what is queued has reached the device.
    rig.window->close();
    QTRY_COMPARE(rig.deviceReceived().size(), 64 * 1024);
    QTRY_VERIFY(!rig.port->isOpen());
    QVERIFY(!rig.window->isVisible() && aboutDialog()->isVisible());
    QTRY_COMPARE(rig.logLines().size(), 1);
}

#ifdef Q_OS_UNIX
#include <dlfcn.h>
#include <termios.h>

namespace {

// Stands in for tcsetattr()/tcgetattr(): a pseudo-terminal keeps 8 data bits and no parity
// whatever it is asked, so only what Qt asks for tells whether a setting reached the system.
// What reaches the pty has 8 bits and no parity, or Qt 5, which applies the settings again
// after opening, would be refused; Qt reads back what it asked for.
QHash<int, termios> asked;
QVector<termios> requests;

} // namespace

extern "C" int tcsetattr(int fd, int actions, const termios *attributes)
{
    static const auto real = reinterpret_cast<int (*)(int, int, const termios *)>(
            dlsym(RTLD_NEXT, "tcsetattr"));
    asked.insert(fd, *attributes);
    requests.append(*attributes);
    termios forwarded = *attributes;
    forwarded.c_cflag = (forwarded.c_cflag & ~(CSIZE | PARENB | PARODD)) | CS8;
    return real(fd, actions, &forwarded);
}

extern "C" int tcgetattr(int fd, termios *attributes)
{
    static const auto real = reinterpret_cast<int (*)(int, termios *)>(
            dlsym(RTLD_NEXT, "tcgetattr"));
    const int result = real(fd, attributes);
    if (result == 0 && asked.contains(fd))
        *attributes = asked.value(fd);
    return result;
}

void TestTerminal::closingLetsQueuedBytesDrain()
{
    TerminalRig rig;
    QVERIFY(rig.clickOpenCom());
    // More than a pseudo-terminal holds while its device reads nothing.
    const QByteArray bytes(64 * 1024, '\x5a');
    rig.send(QString::fromLatin1(bytes.toHex()));
    QTRY_VERIFY(!rig.deviceReceived().isEmpty() && rig.port->bytesToWrite() > 0);
    QVERIFY(rig.device.write("\x01")); // the device answers meanwhile: that is logged first
    QTRY_COMPARE(rig.logLines().size(), 1);
    // Unticking lets the queue drain first; the box cannot reopen the port meanwhile.
    ModalCatcher catcher;
    QVERIFY(rig.clickOpenCom() && !rig.openCom->isEnabled());
    QTRY_COMPARE(rig.deviceReceived(), bytes);
    QTRY_VERIFY(!rig.port->isOpen() && rig.openCom->isEnabled());
    QTRY_COMPARE(rig.logLines().size(), 2);
    QVERIFY(rig.logLines().at(1).endsWith(" [send] " + bytes.toHex()));

    // A device that never takes them: at 9600 baud they need a minute, a close waits three
    // seconds at most, and what did not go out whole is not logged as sent.
    QVERIFY(rig.clickOpenCom());
    rig.send(QString::fromLatin1(bytes.toHex()));
    QTRY_VERIFY(rig.deviceReceived().size() > bytes.size());
    QElapsedTimer waited;
    waited.start();
    rig.clickOpenCom();
    QTRY_VERIFY_WITH_TIMEOUT(!rig.port->isOpen(), 5000);
    QVERIFY2(waited.elapsed() > 2500 && waited.elapsed() < 4000,
             qPrintable(QString::number(waited.elapsed())));
    QCOMPARE(catcher.boxes, QStringList{"Tip: 串口关闭时仍有数据未发送"});
    QVERIFY(rig.deviceReceived().size() < 2 * bytes.size());
    QTest::qWait(100);
    QCOMPARE(rig.logLines().size(), 2);
}

void TestTerminal::lineSettingsReachTheSystem_data()
{
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<tcflag_t>("flags");
    QTest::newRow("38400 7 2 even") << QStringList{"38400", "7", "2", "EvenParity"}
                                    << speed_t(B38400) << tcflag_t(CS7 | CSTOPB | PARENB);
    QTest::newRow("4800 5 1 odd") << QStringList{"4800", "5", "1", "OddParity"}
                                  << speed_t(B4800) << tcflag_t(CS5 | PARENB | PARODD);
}

void TestTerminal::lineSettingsReachTheSystem()
{
    QFETCH(QStringList, chosen);
    QFETCH(speed_t, speed);
    QFETCH(tcflag_t, flags);
    TerminalRig rig;
    chooseLineSettings(*rig.window, chosen);
    requests.clear();
    QVERIFY(rig.clickOpenCom());
    // Every request of the opening carries the chosen framing and no flow control, so the
    // port never runs with the defaults; the last one sets the speed the port runs at.
    QVERIFY(!requests.isEmpty());
    QCOMPARE(cfgetospeed(&requests.last()), speed);
    QCOMPARE(cfgetispeed(&requests.last()), speed);
    for (const termios &t : qAsConst(requests)) {
        QCOMPARE(t.c_cflag & (CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS), flags);
        QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(0));
    }
    // A change while open waits for the next opening.
    const int made = requests.size();
    chooseLineSettings(*rig.window, {"19200", chosen[1], chosen[2], chosen[3]});
    QCOMPARE(requests.size(), made);
}

void TestTerminal::reopeningLeaksNothing()
{
    TerminalRig rig;
    ModalCatcher catcher;
    auto session = [&](int n) {
        const int sent = rig.deviceReceived().size();
        rig.clickOpenCom();
        rig.device.write(QByteArray(8, char(n)));
        rig.send("0102");
        return QTest::qWaitFor([&] { return rig.deviceReceived().size() == sent + 2; })
                && !rig.clickOpenCom();
    };
    auto kilobytes = [] {
        QFile statm("/proc/self/statm");
        return statm.open(QIODevice::ReadOnly) ? statm.readAll().split(' ').value(1).toLong() * 4 : 0;
    };
    for (int n = 0; n < 20; ++n) // what Qt allocates once is not growth
        QVERIFY(session(n));
    const uint descriptors = QDir("/proc/self/fd").count();
    const QStringList locks = portLocksHeldHere();
    const long memory = kilobytes();
    for (int n = 0; n < 100; ++n)
        QVERIFY(session(n));
    QCOMPARE(QDir("/proc/self/fd").count(), descriptors);
    QCOMPARE(portLocksHeldHere(), locks);
#ifdef __SANITIZE_ADDRESS__ // its quarantine keeps freed memory resident
    Q_UNUSED(memory)
#else
    QVERIFY2(kilobytes() - memory < 4096, "memory grows");
#endif
    QVERIFY(catcher.boxes.isEmpty());
}
#endif

QTEST_MAIN(TestTerminal)
#include "tst_terminal.moc"
