#include "serial/portsession.h"
#include "rig.h"

using State = PortSession::State;

// One opening of a port, with no window: its states, and what it reports when.
class TestPortSession : public QObject
{
    Q_OBJECT

private slots:
    // A message is reported once its bytes are out, and before the reply read after it; a close
    // lets the rest out first, taking nothing the device says meanwhile; a lost device shuts the
    // port once, and a closed session takes nothing to send.
    void openSendDrainCloseLose()
    {
        PseudoTerminal device;
        QSerialPort port(device.portName());
        PortSession session(&port);
        QSignalSpy sent(&session, &PortSession::sent), closed(&session, &PortSession::closed),
                lost(&session, &PortSession::deviceLost);
        QVERIFY(device.write("\x7f")); // before the opening: nobody's
#ifdef Q_OS_WIN
        QTest::qWait(100); // socat passes it on to COM7 first
#endif
        QVERIFY(session.open() && session.state() == State::Open && !session.open());
        const QByteArray bytes(64 * 1024, 'x'); // more than a pseudo-terminal takes at once
        QVERIFY(session.send("all the x", bytes));
        QVERIFY(device.write("\x01"));
        QByteArray reply;
        QTRY_COMPARE((reply += session.takeReceived().value_or("?"), reply), QByteArray("\x01"));
        QVERIFY(sent.isEmpty() && port.bytesToWrite() > 0);

        session.close();
        QVERIFY(session.state() == State::Draining && session.drainTimeLeft() > 2900);
        QVERIFY(!session.send("03", "\x03") && lost.isEmpty()); // too late, but nothing lost
        QVERIFY(device.write("\x02"));
        QTRY_VERIFY(port.bytesAvailable() > 0);
        QVERIFY(!session.takeReceived());
        QByteArray received;
        QTRY_VERIFY((received += device.readAll(), !closed.isEmpty()));
        QVERIFY(!port.isOpen() && session.state() == State::Closed);
        QTRY_COMPARE((received += device.readAll(), received), bytes); // the kernel's pace
        QCOMPARE(closed.takeFirst(), QVariantList{false}); // nothing dropped
        QCOMPARE(sent.takeFirst(), QVariantList{"all the x"});

        QVERIFY(session.open());
        device.unplug();
        QTRY_COMPARE(lost.size(), 1);
        QVERIFY(!port.isOpen() && session.state() == State::Closed);
        QVERIFY(!session.send("01", "\x01"));
        QTest::qWait(100);
        QVERIFY(lost.size() == 1 && closed.isEmpty() && sent.isEmpty());
    }

    // Every error of an open port but these three means its device is gone, also the ones that
    // some Windows drivers pass through unmapped when an adapter is pulled.
    void everyErrorButThreeIsALoss()
    {
        PseudoTerminal device;
        QSerialPort port(device.portName());
        PortSession session(&port);
        QSignalSpy lost(&session, &PortSession::deviceLost);
        const QMetaEnum errors = QMetaEnum::fromType<QSerialPort::SerialPortError>();
        for (int i = 0; i < errors.keyCount(); ++i) {
            const auto error = QSerialPort::SerialPortError(errors.value(i));
            const bool harmless = error == QSerialPort::NoError
                    || error == QSerialPort::TimeoutError || error == QSerialPort::NotOpenError;
            QVERIFY(session.state() == State::Open || session.open());
            lost.clear();
            emit port.errorOccurred(error);
            QVERIFY2(lost.size() == !harmless && port.isOpen() == harmless, errors.key(i));
        }
    }
};

QTEST_MAIN(TestPortSession)
#include "tst_portsession.moc"
