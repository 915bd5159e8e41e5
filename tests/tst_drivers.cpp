#include "rig.h"

#include <ctime>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The host's side of the guest (tests/play-devices.py): it plays the devices behind ttyS1 and
// ttyUSB0, pulls the adapter's plug, and keeps QEMU's trace of both device models.
struct Host
{
    QString folder = qEnvironmentVariable("WIRELET_DEVICES");
    int told = 0;

    QByteArray read(const QString &name) const
    {
        QFile file(folder + '/' + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    bool tell(const QByteArray &request) // and wait until it is done
    {
        QFile commands(folder + "/commands");
        const int number = ++told;
        return commands.open(QIODevice::Append) && commands.write(request + '\n') > 0
                && commands.flush()
                && QTest::qWaitFor([&] { return read("done").toInt() >= number; }, 20000);
    }
    qint64 traceSize() const { return QFileInfo(folder + "/trace.log").size(); }
    QStringList trace(qint64 from) const // one event a line, without its time
    {
        static const QRegularExpression time("^[^:]*:");
        const QString events = QString::fromLatin1(read("trace.log").mid(from));
        return events.split('\n').replaceInStrings(time, "");
    }
    // The 16550's accesses, a letter each: T a byte written to the transmit register, S a write
    // of the line settings, E a look that found the transmitter empty. The divisor latch takes
    // the transmit register's address while the settings select it.
    QString uart(qint64 from) const
    {
        static const QRegularExpression access("^serial_(r|w)\\w+ \\w+ addr 0x0(.) val 0x(..)");
        QString seen;
        bool latch = false;
        for (const QString &event : trace(from)) {
            const QRegularExpressionMatch m = access.match(event);
            const QString kind = m.captured(1) + m.captured(2);
            const int value = m.captured(3).toInt(nullptr, 16);
            latch = kind == "w3" ? (value & 0x80) != 0 : latch;
            seen += kind == "w0" && !latch ? "T" : kind == "w3" ? "S" : "";
            seen += kind == "r5" && (value & 0x40) ? "E" : "";
        }
        return seen;
    }
};

// The longest the window went without answering, as a timer due every 10 ms saw it.
struct Pulse
{
    QTimer timer;
    QElapsedTimer since;
    qint64 longest = 0;
    Pulse()
    {
        QObject::connect(&timer, &QTimer::timeout, &timer,
                         [this] { longest = qMax(longest, since.restart()); });
        since.start();
        timer.start(10);
    }
};

bool lists(const TerminalRig &rig, const QString &port)
{
    return child<QComboBox>(rig.window, "portName")->findText(port) >= 0;
}

void choose(TerminalRig &rig, const QString &port, const QStringList &lineSettings = {})
{
    auto *portName = child<QComboBox>(rig.window, "portName");
    portName->setCurrentIndex(portName->findText(port));
    if (!lineSettings.isEmpty())
        rig.chooseLineSettings(lineSettings);
}

// A node that has just appeared may refuse an open for a moment (ENXIO).
bool settles(const char *node)
{
    const auto opens = [node] {
        const int fd = ::open(node, O_RDWR | O_NOCTTY | O_NONBLOCK);
        return fd >= 0 && ::close(fd) == 0;
    };
    return QTest::qWaitFor(opens, 10000);
}

double cpuSeconds()
{
    return double(std::clock()) / CLOCKS_PER_SEC;
}

} // namespace

// The window against the kernel's 8250 and ftdi_sio drivers in a QEMU guest, with the host
// playing the devices: what a pseudo-terminal cannot show. scripts/drivers.sh runs it there.
class TestDrivers : public QObject
{
    Q_OBJECT
    Host host;

private slots:
    void initTestCase() { QVERIFY2(!host.folder.isEmpty(), "runs in scripts/drivers.sh's guest"); }

    void discovery_data()
    {
        QTest::addColumn<QString>("port"); // left out of the list
        QTest::addColumn<QString>("lockFolder"); // where another program locked it, if it did
        QTest::newRow("both idle") << "" << "";
        QTest::newRow("held open") << "ttyS1" << "";
        // The guest's root is read-only: these are the lock folders it has or can make.
        for (const char *folder : {"/run/lock", "/run/lock/lockdev", "/tmp", "/var/tmp"})
            QTest::newRow(folder) << "ttyUSB0" << folder;
    }
    void discovery()
    {
        QFETCH(QString, port);
        QFETCH(QString, lockFolder);
        QFile lock(lockFolder + "/LCK.." + port);
        auto unlock = qScopeGuard([&] { lock.remove(); });
        QVERIFY(lockFolder.isEmpty()
                || (QDir().mkpath(lockFolder) && lock.open(QIODevice::WriteOnly)
                    && lock.write(QByteArray::number(::getpid()).rightJustified(10) + " x y\n")
                    && lock.flush()));
        const bool holding = !port.isEmpty() && lockFolder.isEmpty();
        const int held = holding ? ::open(qPrintable("/dev/" + port), O_RDWR | O_NOCTTY) : -1;
        const pid_t holder = held >= 0 ? ::fork() : -1;
        if (holder == 0)
            ::pause();
        auto reap = qScopeGuard([holder] {
            if (holder > 0 && ::kill(holder, SIGKILL) == 0)
                ::waitpid(holder, nullptr, 0);
        });
        QVERIFY(!holding || (holder > 0 && ::close(held) == 0)); // only another process holds it
        TerminalRig rig;
        for (const QString each : {"ttyS1", "ttyUSB0"})
            QVERIFY2(lists(rig, each) == (each != port), qPrintable(each));
    }

    void pluggedInLaterIsListedOnlyAfterARestart()
    {
        QVERIFY(host.tell("unplug"));
        QTRY_VERIFY(!QFile::exists("/dev/ttyUSB0"));
        TerminalRig before;
        QVERIFY(host.tell("plug") && settles("/dev/ttyUSB0"));
        TerminalRig after;
        QVERIFY(!lists(before, "ttyUSB0") && lists(after, "ttyUSB0"));
    }

    void lineSettingsReachTheDevice_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<QStringList>("traced"); // the device model's last word on each
        QTest::newRow("16550") << "ttyS1" << QStringList{"38400", "7", "2", "EvenParity"}
                               << QStringList{"serial_update_parameters baudrate=38400 "
                                              "parity='E' data=7 stop=2"};
        QTest::newRow("FTDI") << "ttyUSB0" << QStringList{"19200", "8", "1", "OddParity"}
                              << QStringList{"usb_serial_set_baud baud rate 19200",
                                             "usb_serial_set_data parity O, data bits 8, "
                                             "stop bits 1"};
    }
    void lineSettingsReachTheDevice()
    {
        QFETCH(QString, port);
        QFETCH(QStringList, chosen);
        QFETCH(QStringList, traced);
        TerminalRig rig;
        choose(rig, port, chosen);
        const qint64 from = host.traceSize();
        QVERIFY(rig.toggle());
        for (const QString &setting : traced) {
            const QStringList all = host.trace(from).filter(setting.section(' ', 0, 0) + ' ');
            QVERIFY2(!all.isEmpty() && all.last().endsWith(setting.section(' ', 1)),
                     qPrintable(all.join('\n')));
        }
    }

    void repliesFollowTheirRequests_data()
    {
        QTest::addColumn<QString>("port");
        QTest::newRow("16550") << "ttyS1";
        QTest::newRow("FTDI") << "ttyUSB0";
    }
    // A device that echoes at once.
    void repliesFollowTheirRequests()
    {
        QFETCH(QString, port);
        QVERIFY(host.tell(port.toLatin1() + " echo"));
        TerminalRig rig;
        choose(rig, port);
        QVERIFY(rig.toggle());
        rig.checkRepliesFollowRequests();
    }

    void drainOnClose_data()
    {
        QTest::addColumn<QByteArray>("device"); // its part while the port closes
        QTest::addColumn<int>("size");
        QTest::newRow("read at 9600 baud's pace") << QByteArray("pace 960") << 2048;
        QTest::newRow("reads nothing") << QByteArray("stop") << 8192;
    }
    // Paced, the close waits until the UART has sent the last byte. Reading nothing, the
    // driver's queue fills, and the close ends when the budget runs out, with the one warning;
    // nothing leaves the UART after the old settings are back, even once the device reads
    // again, 2 s later. The window answers throughout.
    void drainOnClose()
    {
        QFETCH(QByteArray, device);
        QFETCH(int, size);
        QVERIFY(host.tell("ttyS1 " + device));
        TerminalRig rig;
        choose(rig, "ttyS1", {"9600", "8", "1", "NoParity"});
        QVERIFY(rig.toggle());
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = char(i * 7);
        rig.send(QString::fromLatin1(bytes.toHex()));
        const bool stopped = device == "stop";
        int queued = 0;
        QTRY_VERIFY(!stopped
                    || (::ioctl(rig.port->handle(), TIOCOUTQ, &queued) == 0 && queued > 4000));
        // What is left, 10 bits a byte at 9600 baud, and a second more; 3 s at most.
        const qint64 left = queued + rig.port->bytesToWrite();
        const int budget = int(qMin<qint64>(left * 10 * 1000 / 9600 + 1000, 3000));
        QVERIFY(!stopped || host.tell("ttyS1 stop " + QByteArray::number(budget + 2000)));
        const qint64 from = host.traceSize();
        Pulse pulse;
        QElapsedTimer closing;
        closing.start();
        rig.openCom->click();
        QVERIFY(rig.port->isOpen() && !rig.openCom->isChecked()); // unticked, and draining
        QTRY_VERIFY_WITH_TIMEOUT(!rig.port->isOpen(), budget + 5000);
        const qint64 took = closing.elapsed();
        QVERIFY2(!stopped || (took >= budget && took < budget + 1000),
                 qPrintable(QString::number(took)));
        const QStringList warned = {"Tip: 串口关闭时仍有数据未发送"};
        QCOMPARE(rig.boxes, stopped ? warned : QStringList());
        QVERIFY(pulse.longest < 1000);
        QVERIFY(host.tell("ttyS1 settle"));
        QCOMPARE(stopped ? bytes : host.read("ttyS1.rx"), bytes);
        const QString uart = host.uart(from);
        const int restored = uart.indexOf('S'); // the close's: nothing else sets the line meanwhile
        QVERIFY2(restored >= 0 && uart.indexOf('T', restored) < 0, "bytes sent after the close");
        QVERIFY2(stopped || uart.lastIndexOf('E', restored) > uart.lastIndexOf('T', restored),
                 "the settings were restored before the last byte was out");
    }

    void unplug_data()
    {
        QTest::addColumn<QString>("during");
        for (const char *during : {"idle", "receiving", "sending", "draining"})
            QTest::newRow(during) << during;
    }
    // Pulled out over QMP: one warning, the port shut for good, and no CPU spent on it after.
    // Plugged back in under the same name, it opens with one more tick, and bytes flow both ways.
    void unplug()
    {
        QFETCH(QString, during);
        QVERIFY(host.tell("ttyUSB0 read"));
        TerminalRig rig;
        choose(rig, "ttyUSB0");
        QVERIFY(rig.toggle());
        if (during == "receiving") {
            QVERIFY(host.tell("ttyUSB0 stream"));
            QTRY_VERIFY(!rig.logLines().isEmpty());
        }
        // The adapter takes some 8 MB a second: most of this is still in Qt's buffer when the
        // plug goes. The emulated chip keeps nothing, so only that buffer keeps a drain going.
        const QByteArray big(4 << 20, '\x5a');
        const bool queued = during == "sending" || during == "draining";
        if (queued)
            rig.window->sendMsg(QString::fromLatin1(big.toHex()));
        QVERIFY(during != "draining" || host.tell("ttyUSB0 unplug-on-data"));
        QElapsedTimer closing;
        qint64 closed = -1;
        QObject::connect(rig.port, &QIODevice::aboutToClose, rig.port,
                         [&] { closed = closing.elapsed(); });
        closing.start();
        if (during == "draining") { // the host pulls the plug as the first bytes arrive
            rig.openCom->click();
            QVERIFY(rig.port->isOpen());
        } else {
            QVERIFY(host.tell("unplug"));
        }
        QTRY_COMPARE(rig.boxes, QStringList{"Tip: 串口已断开"});
        QVERIFY(during != "draining" || (closed >= 0 && closed < 1000)); // at once, not in 3 s
        const double cpu = cpuSeconds();
        QTest::qWait(1000);
        QVERIFY2(cpuSeconds() - cpu < 0.2, qPrintable(QString::number(cpuSeconds() - cpu)));
        QCOMPARE(rig.boxes.size(), 1);
        QVERIFY(!rig.port->isOpen() && !rig.openCom->isChecked() && !rig.btnSend->isEnabled());
        for (const QFileInfo &fd : QDir("/proc/self/fd").entryInfoList(QDir::System))
            QVERIFY(!fd.symLinkTarget().startsWith("/dev/ttyUSB0"));
        // What went out in part is not logged.
        QVERIFY(!queued
                || (host.read("ttyUSB0.rx").size() < big.size() && rig.logLines().isEmpty()));

        QVERIFY(host.tell("plug") && settles("/dev/ttyUSB0") && host.tell("ttyUSB0 echo"));
        QVERIFY(rig.toggle());
        rig.send("a5c3");
        QTRY_COMPARE(host.read("ttyUSB0.rx"), QByteArray("\xa5\xc3"));
        // Behind whatever the stream left on its way in, the answer, below its request.
        QTRY_VERIFY(rig.logLines().join('\n').section(" [send] a5c3", -1).endsWith("a5c3"));
    }
};

QTEST_MAIN(TestDrivers)
#include "tst_drivers.moc"
