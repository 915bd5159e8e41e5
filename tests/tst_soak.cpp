#include "modalcatcher.h"
#include "terminalrig.h"
#include "usage.h"
#include "windowhelpers.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSerialPort>
#include <QTextBrowser>
#include <QtTest>

namespace {

// Turns the event loop until the condition holds; false after the timeout.
template<typename Condition>
bool waitUntil(Condition condition, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(1);
    }
    return true;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool underAddressSanitizer = true; // its quarantine keeps freed memory resident
#else
constexpr bool underAddressSanitizer = false;
#endif

} // namespace

// Many cycles of what users do all day: plugging and unplugging, opening and closing.
class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void unplugOverAndOver();
    void openAndCloseOverAndOver();
    void megabyteMessageIsSentWhole();
};

void TestSoak::unplugOverAndOver()
{
    constexpr int Cycles = 100;
    auto window = newWindow();
    window->show();
    auto *openCom = window->findChild<QCheckBox *>("openCom");
    auto *btnSend = window->findChild<QPushButton *>("btnSend");
    auto *message = window->findChild<QTextEdit *>("message");
    auto *port = window->findChild<QSerialPort *>();
    QVERIFY(openCom && btnSend && message && port);
    message->setPlainText("c3");

    constexpr int IdleMs = 20;
    double idleCpu = 0;
    ModalCatcher catcher;
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = Usage::cpuSeconds();
    for (int cycle = 0; cycle < Cycles; ++cycle) {
        PseudoTerminal device;
        selectPort(*window, device.slavePath());
        clickIndicator(openCom);
        QVERIFY2(port->isOpen(), qPrintable(QString("cycle %1").arg(cycle)));
        QVERIFY(btnSend->isEnabled());

        QVERIFY(device.write(QByteArray::fromHex("3c")));
        QTest::mouseClick(btnSend, Qt::LeftButton);
        QByteArray received;
        QVERIFY(waitUntil([&] { return (received += device.readAll()).size() == 1; }));
        QCOMPARE(received, QByteArray::fromHex("c3"));

        if (cycle % 2)
            device.unplug();
        else
            QVERIFY(device.hangUp());
        QVERIFY2(waitUntil([&] { return catcher.boxes().size() == cycle + 1; }),
                 qPrintable(QString("cycle %1: %2 warnings").arg(cycle).arg(catcher.boxes().size())));
        QVERIFY(!port->isOpen());
        QVERIFY(!openCom->isChecked());
        QVERIFY(!btnSend->isEnabled());

        // Right after a loss the program has nothing to do; a spinning one would not idle.
        const double idleFrom = Usage::cpuSeconds();
        QTest::qWait(IdleMs);
        idleCpu += Usage::cpuSeconds() - idleFrom;
    }
    // A last look for a late second warning.
    QTest::qWait(100);
    const double cpu = Usage::cpuSeconds() - cpuBefore;
    const double seconds = wall.elapsed() / 1000.0;
    const double idleSeconds = Cycles * IdleMs / 1000.0;
    qInfo("unplug soak: %d cycles, %d warnings; %.2f s wall, %.2f s CPU in all; "
          "%.3f s CPU in the %.1f s idle after the losses",
          Cycles, int(catcher.boxes().size()), seconds, cpu, idleCpu, idleSeconds);
    QCOMPARE(catcher.boxes().size(), Cycles);
    for (const ModalCatcher::Box &box : catcher.boxes())
        QCOMPARE(box.text, QString("串口已断开"));
    QVERIFY2(idleCpu < 0.25 * idleSeconds, qPrintable(QString::number(idleCpu)));
}

void TestSoak::openAndCloseOverAndOver()
{
    constexpr int Cycles = 500;
    TerminalRig rig;
    ModalCatcher catcher;

    auto cycle = [&](int n) {
        if (!rig.open())
            return false;
        rig.device.write(QByteArray(8, char(n)));
        rig.send("0102");
        const bool sent = waitUntil([&] { return rig.deviceReceived().endsWith("\x01\x02"); });
        clickIndicator(rig.openCom);
        return sent && !rig.port->isOpen();
    };
    // Warm up, so what Qt allocates once is not counted as growth.
    for (int n = 0; n < 20; ++n)
        QVERIFY(cycle(n));
    const int descriptorsBefore = Usage::openDescriptors();
    const QStringList locksBefore = portLocksHeldHere();
    const double rssBefore = Usage::residentMegabytes();

    for (int n = 0; n < Cycles; ++n)
        QVERIFY2(cycle(n), qPrintable(QString("cycle %1").arg(n)));
    QTest::qWait(2 * 40);

    const int descriptorsAfter = Usage::openDescriptors();
    const double rssAfter = Usage::residentMegabytes();
    qInfo("open/close soak: %d cycles; descriptors %d -> %d; lock files %d -> %d; "
          "resident %.1f MB -> %.1f MB; %d log lines",
          Cycles, descriptorsBefore, descriptorsAfter, int(locksBefore.size()),
          int(portLocksHeldHere().size()), rssBefore, rssAfter, int(rig.logLines().size()));
    QVERIFY(catcher.boxes().isEmpty());
    QCOMPARE(descriptorsAfter, descriptorsBefore);
    QCOMPARE(portLocksHeldHere(), locksBefore);
    // The log itself grows by about a thousand short lines; anything leaked per cycle
    // would add up to far more.
    if (!underAddressSanitizer)
        QVERIFY2(rssAfter - rssBefore < 8.0, qPrintable(QString::number(rssAfter - rssBefore)));
}

void TestSoak::megabyteMessageIsSentWhole()
{
    TerminalRig rig;
    QVERIFY(rig.open());
    QByteArray bytes(1024 * 1024, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7 + i / 256);
    const QString text = QString::fromLatin1(bytes.toHex(' '));

    ModalCatcher catcher;
    rig.send(text);
    QVERIFY(waitUntil([&] { return rig.deviceReceived().size() >= bytes.size(); }, 30000));
    QCOMPARE(rig.deviceReceived(), bytes);
    QVERIFY(catcher.boxes().isEmpty());
    QVERIFY(waitUntil([&] { return !rig.logLines().isEmpty(); }));
    QCOMPARE(rig.logLines().size(), 1);
    QVERIFY(rig.logLines().first().endsWith(" [send] " + text));
    clickIndicator(rig.openCom);
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
