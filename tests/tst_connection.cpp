#include "modalcatcher.h"
#include "terminalrig.h"
#include "usage.h"
#ifdef Q_OS_UNIX
#include "termiosspy.h"
#endif

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextEdit>
#include <QtTest>

// Opening, configuring and closing a port with the one check box, on real pseudo-terminals.
class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QSerialPort::SerialPortError>(); }
    void openSendReceiveClose();
    void failedOpenIsNotLeftChecked_data();
    void failedOpenIsNotLeftChecked();
    void deviceLossClosesOnceWithoutSpinning_data();
    void deviceLossClosesOnceWithoutSpinning();
#ifdef Q_OS_UNIX
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
        QCOMPARE(box->currentText(), texts.at(i));
    }
}

} // namespace

void TestConnection::openSendReceiveClose()
{
    TerminalRig rig;
    ModalCatcher catcher;
    QVERIFY(!rig.btnSend->isEnabled());
    chooseLineSettings(*rig.window, {"38400", "7", "2", "EvenParity"});
    QVERIFY(rig.clickOpenCom());
    QVERIFY(rig.btnSend->isEnabled());

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
    QVERIFY(!rig.openCom->isChecked());
    QVERIFY(!rig.btnSend->isEnabled());
    // What the device says while the port is closed is never logged, not even once reopened.
    QVERIFY(rig.device.write("\xde\xad"));
    QTest::qWait(50);
    QVERIFY(rig.clickOpenCom());
    QTest::qWait(100);
    QCOMPARE(rig.logLines().size(), 2);
    QVERIFY(catcher.boxes().isEmpty());
}

void TestConnection::failedOpenIsNotLeftChecked_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("no such device") << "/dev/wirelet-no-such-port";
    QTest::newRow("empty port list") << "";
}

void TestConnection::failedOpenIsNotLeftChecked()
{
    QFETCH(QString, path);
    TerminalRig rig;
    auto *portName = rig.window->findChild<QComboBox *>("portName");
    portName->clear();
    if (!path.isEmpty())
        selectPort(*rig.window, path);
    QSignalSpy errors(rig.port, &QSerialPort::errorOccurred);

    {
        ModalCatcher catcher;
        QVERIFY(!rig.clickOpenCom());
        QCOMPARE(catcher.texts(), QStringList{"串口打开失败"});
        QCOMPARE(catcher.boxes().first().title, QString("Tip"));
    }
    QVERIFY(!rig.openCom->isChecked());
    QVERIFY(!rig.btnSend->isEnabled());
    // Unchecking did not run the close branch on the port that never opened.
    for (const QList<QVariant> &error : qAsConst(errors))
        QVERIFY(error.first().value<QSerialPort::SerialPortError>() != QSerialPort::NotOpenError);

    // One click retries.
    selectPort(*rig.window, rig.device.portName());
    QVERIFY(rig.clickOpenCom());
    QVERIFY(rig.btnSend->isEnabled());
}

void TestConnection::deviceLossClosesOnceWithoutSpinning_data()
{
    QTest::addColumn<bool>("hangUp");
    QTest::newRow("device side closed") << false;
#ifdef Q_OS_UNIX
    QTest::newRow("line hung up") << true;
#endif
}

void TestConnection::deviceLossClosesOnceWithoutSpinning()
{
    QFETCH(bool, hangUp);
    TerminalRig rig;
    ModalCatcher catcher;
    QVERIFY(rig.clickOpenCom());
    if (hangUp) {
#ifdef Q_OS_UNIX
        QVERIFY(rig.device.hangUp());
#endif
    } else
        rig.device.unplug();

    QTRY_COMPARE(catcher.texts(), QStringList{"串口已断开"});
    QVERIFY(!rig.port->isOpen());
    QVERIFY(!rig.openCom->isChecked());
    QVERIFY(!rig.btnSend->isEnabled());
    // Qt 5 would report the error again and again while a hung-up port stays open.
    const double before = Usage::cpuSeconds();
    QTest::qWait(300);
    QVERIFY2(Usage::cpuSeconds() - before < 0.1, "busy after the loss");
    QCOMPARE(catcher.boxes().size(), 1);
}

#ifdef Q_OS_UNIX
void TestConnection::lineSettingsReachTheSystem_data()
{
    QTest::addColumn<QStringList>("chosen"); // baud rate, data bits, stop bits, parity
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<tcflag_t>("flags");

    QTest::newRow("9600 8 1 none") << QStringList{"9600", "8", "1", "NoParity"}
                                   << speed_t(B9600) << tcflag_t(CS8);
    QTest::newRow("38400 7 2 even") << QStringList{"38400", "7", "2", "EvenParity"}
                                    << speed_t(B38400) << tcflag_t(CS7 | CSTOPB | PARENB);
    QTest::newRow("4800 5 1 odd") << QStringList{"4800", "5", "1", "OddParity"}
                                  << speed_t(B4800) << tcflag_t(CS5 | PARENB | PARODD);
}

void TestConnection::lineSettingsReachTheSystem()
{
    QFETCH(QStringList, chosen);
    QFETCH(speed_t, speed);
    QFETCH(tcflag_t, flags);
    TerminalRig rig;
    // A first session with other settings, so that stale ones would show in the second.
    chooseLineSettings(*rig.window, {"19200", "6", chosen[2] == "1" ? "2" : "1",
                                     chosen[3] == "OddParity" ? "EvenParity" : "OddParity"});
    QVERIFY(rig.clickOpenCom());
    QVERIFY(!rig.clickOpenCom());

    chooseLineSettings(*rig.window, chosen);
    TermiosSpy::reset();
    QVERIFY(rig.clickOpenCom());
    // Every request of this opening carries the chosen framing and no flow control, so the
    // port never ran with the last session's; the last one sets the speed it runs at.
    const QVector<termios> requests = TermiosSpy::requests();
    QVERIFY(!requests.isEmpty());
    QCOMPARE(cfgetospeed(&requests.last()), speed);
    QCOMPARE(cfgetispeed(&requests.last()), speed);
    for (const termios &t : requests) {
        QCOMPARE(t.c_cflag & (CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS), flags);
        QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(0));
    }
    // A change while open waits for the next opening.
    chooseLineSettings(*rig.window, {"19200", chosen[1], chosen[2], chosen[3]});
    QCOMPARE(TermiosSpy::requests().size(), requests.size());
}

void TestConnection::reopeningLeaksNothing()
{
    TerminalRig rig;
    ModalCatcher catcher;
    auto session = [&](int n) {
        const int sent = rig.deviceReceived().size();
        if (!rig.clickOpenCom())
            return false;
        rig.device.write(QByteArray(8, char(n)));
        rig.send("0102");
        return QTest::qWaitFor([&] { return rig.deviceReceived().size() == sent + 2; })
                && !rig.clickOpenCom();
    };
    // What Qt allocates once is not growth.
    for (int n = 0; n < 20; ++n)
        QVERIFY(session(n));
    const int descriptors = Usage::openDescriptors();
    const QStringList locks = portLocksHeldHere();
    const double megabytes = Usage::residentMegabytes();
    for (int n = 0; n < 200; ++n)
        QVERIFY(session(n));
    QCOMPARE(Usage::openDescriptors(), descriptors);
    QCOMPARE(portLocksHeldHere(), locks);
#ifndef __SANITIZE_ADDRESS__ // its quarantine keeps freed memory resident
    QVERIFY2(Usage::residentMegabytes() - megabytes < 4, "memory grows");
#endif
    QVERIFY(catcher.boxes().isEmpty());
}

#endif

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
