#include "modalcatcher.h"
#include "terminalrig.h"
#include "termiosspy.h"
#include "usage.h"
#include "windowhelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSerialPort>
#include <QTextBrowser>
#include <QtTest>

namespace {

void choose(MainWindow &window, const char *comboName, const QString &text)
{
    auto *box = window.findChild<QComboBox *>(comboName);
    QVERIFY(box);
    const int index = box->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    box->setCurrentIndex(index);
}

} // namespace

// Opening, configuring and closing a port with the one check box, on real pseudo-terminals.
class TestConnection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void openAndClose();
    void lineSettingsReachTheSystem_data();
    void lineSettingsReachTheSystem();
    void failedOpenIsNotLeftChecked_data();
    void failedOpenIsNotLeftChecked();
    void deviceLossClosesOnceWithoutSpinning_data();
    void deviceLossClosesOnceWithoutSpinning();
    void bytesSentWhileClosedAreNeverLogged();
};

void TestConnection::initTestCase()
{
    qRegisterMetaType<QSerialPort::SerialPortError>();
}

void TestConnection::init()
{
    TermiosSpy::reset();
}

void TestConnection::openAndClose()
{
    TerminalRig rig;
    ModalCatcher catcher;
    QVERIFY(!rig.btnSend->isEnabled());

    QVERIFY(rig.open());
    QVERIFY(rig.openCom->isChecked());
    QVERIFY(rig.btnSend->isEnabled());
    QVERIFY(rig.device.slavePath().endsWith("/" + rig.port->portName()));
    QCOMPARE(rig.port->openMode(), QIODevice::ReadWrite);

    clickIndicator(rig.openCom);
    QVERIFY(!rig.port->isOpen());
    QVERIFY(!rig.openCom->isChecked());
    QVERIFY(!rig.btnSend->isEnabled());

    // Opening again works, and a second close leaves everything idle.
    QVERIFY(rig.open());
    clickIndicator(rig.openCom);
    QVERIFY(!rig.port->isOpen());
    QVERIFY(catcher.boxes().isEmpty());
}

void TestConnection::lineSettingsReachTheSystem_data()
{
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("dataBits");
    QTest::addColumn<QString>("stopBits");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<tcflag_t>("size");
    QTest::addColumn<tcflag_t>("parityFlags");

    QTest::newRow("defaults") << "9600" << "8" << "1" << "NoParity" << speed_t(B9600)
                              << tcflag_t(CS8) << tcflag_t(0);
    QTest::newRow("38400 7 2 even") << "38400" << "7" << "2" << "EvenParity" << speed_t(B38400)
                                    << tcflag_t(CS7) << tcflag_t(PARENB);
    QTest::newRow("4800 5 1 odd") << "4800" << "5" << "1" << "OddParity" << speed_t(B4800)
                                  << tcflag_t(CS5) << tcflag_t(PARENB | PARODD);
    QTest::newRow("19200 6 2 none") << "19200" << "6" << "2" << "NoParity" << speed_t(B19200)
                                    << tcflag_t(CS6) << tcflag_t(0);
}

void TestConnection::lineSettingsReachTheSystem()
{
    QFETCH(QString, baud);
    QFETCH(QString, dataBits);
    QFETCH(QString, stopBits);
    QFETCH(QString, parity);
    QFETCH(speed_t, speed);
    QFETCH(tcflag_t, size);
    QFETCH(tcflag_t, parityFlags);
    const bool twoStops = stopBits == "2";

    TerminalRig rig;
    // A first session with other settings, so stale ones would show in the second.
    choose(*rig.window, "baudRate", baud == "9600" ? "4800" : "9600");
    choose(*rig.window, "dataBits", dataBits == "8" ? "7" : "8");
    choose(*rig.window, "stopBits", twoStops ? "1" : "2");
    choose(*rig.window, "parity", parity == "OddParity" ? "EvenParity" : "OddParity");
    QVERIFY(rig.open());
    clickIndicator(rig.openCom);

    choose(*rig.window, "baudRate", baud);
    choose(*rig.window, "dataBits", dataBits);
    choose(*rig.window, "stopBits", stopBits);
    choose(*rig.window, "parity", parity);
    TermiosSpy::reset();
    QVERIFY(rig.open());

    // Every request of this opening carries the chosen framing, so the port never ran with
    // the previous session's; Qt sets the speed last, and that is what the port runs at.
    const QVector<termios> requests = TermiosSpy::requests();
    QVERIFY(!requests.isEmpty());
    QCOMPARE(cfgetospeed(&requests.last()), speed);
    QCOMPARE(cfgetispeed(&requests.last()), speed);
    for (const termios &t : requests) {
        QCOMPARE(t.c_cflag & CSIZE, size);
        QCOMPARE(t.c_cflag & (PARENB | PARODD), parityFlags);
        QCOMPARE(bool(t.c_cflag & CSTOPB), twoStops);
        QCOMPARE(t.c_cflag & CRTSCTS, tcflag_t(0));
        QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(0));
    }

    // Changing a setting while open waits for the next opening.
    choose(*rig.window, "baudRate", baud == "9600" ? "4800" : "9600");
    QCOMPARE(TermiosSpy::requests().size(), requests.size());
    clickIndicator(rig.openCom);
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
    QVERIFY(portName);
    if (path.isEmpty())
        portName->clear();
    else
        selectPort(*rig.window, path);
    QSignalSpy errors(rig.port, &QSerialPort::errorOccurred);

    {
        ModalCatcher catcher;
        QVERIFY(!rig.open());
        QCOMPARE(catcher.boxes().size(), 1);
        QCOMPARE(catcher.boxes().first().title, QString("Tip"));
        QCOMPARE(catcher.boxes().first().text, QString("串口打开失败"));
        QCOMPARE(catcher.boxes().first().icon, QMessageBox::Warning);
    }
    QVERIFY(!rig.openCom->isChecked());
    QVERIFY(!rig.btnSend->isEnabled());
    // The close branch did not run on the port that never opened.
    for (const QList<QVariant> &error : qAsConst(errors))
        QVERIFY(error.first().value<QSerialPort::SerialPortError>() != QSerialPort::NotOpenError);

    // One click retries.
    selectPort(*rig.window, rig.device.slavePath());
    QVERIFY(rig.open());
    QVERIFY(rig.openCom->isChecked());
    QVERIFY(rig.btnSend->isEnabled());
    clickIndicator(rig.openCom);
}

void TestConnection::deviceLossClosesOnceWithoutSpinning_data()
{
    QTest::addColumn<bool>("hangUp");

    QTest::newRow("device side closed") << false;
    QTest::newRow("line hung up") << true;
}

void TestConnection::deviceLossClosesOnceWithoutSpinning()
{
    QFETCH(bool, hangUp);

    TerminalRig rig;
    ModalCatcher catcher;
    QVERIFY(rig.open());
    QSignalSpy errors(rig.port, &QSerialPort::errorOccurred);

    if (hangUp)
        QVERIFY(rig.device.hangUp());
    else
        rig.device.unplug();

    QTRY_COMPARE(catcher.boxes().size(), 1);
    QCOMPARE(catcher.boxes().first().title, QString("Tip"));
    QCOMPARE(catcher.boxes().first().text, QString("串口已断开"));
    QVERIFY(!rig.port->isOpen());
    QVERIFY(!rig.openCom->isChecked());
    QVERIFY(!rig.btnSend->isEnabled());

    // Half a second later: no second box, no stream of errors, no core burnt.
    const double before = Usage::cpuSeconds();
    QTest::qWait(500);
    const double used = Usage::cpuSeconds() - before;
    qInfo("errors reported: %d; CPU over 500 ms idle after the loss: %.3f s",
          int(errors.size()), used);
    QCOMPARE(catcher.boxes().size(), 1);
    QVERIFY2(errors.size() < 10, qPrintable(QString::number(errors.size())));
    QVERIFY2(used < 0.2, qPrintable(QString::number(used)));
}

void TestConnection::bytesSentWhileClosedAreNeverLogged()
{
    TerminalRig rig;
    QVERIFY(rig.open());
    clickIndicator(rig.openCom);

    QVERIFY(rig.device.write(QByteArray::fromHex("deadbeef")));
    QTest::qWait(100);
    QVERIFY(rig.comLog->toPlainText().isEmpty());

    QVERIFY(rig.open());
    QTest::qWait(100);
    QVERIFY2(rig.comLog->toPlainText().isEmpty(), qPrintable(rig.comLog->toPlainText()));

    // What arrives once open is logged as usual.
    QVERIFY(rig.device.write(QByteArray::fromHex("01")));
    QTRY_COMPARE(rig.logLines().size(), 1);
    QVERIFY(rig.logLines().first().endsWith(" [recieve] 01"));
    clickIndicator(rig.openCom);
}

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
