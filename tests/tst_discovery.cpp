#include "boundedprobe.h"
#include "busyport.h"
#include "rig.h"

#include <QSerialPortInfo>
#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>

static bool writeLock(const QString &path, const QByteArray &pid, const char *rest = "\n")
{
    QFile lock(path);
    return lock.open(QIODevice::WriteOnly) && lock.write(pid + rest) > 0;
}
#endif

static bool isBusy(const QString &path)
{
    return busyPorts({path}).constFirst();
}

// Which ports are offered: those no other program holds, with a warning when there is none.
class TestDiscovery : public QObject
{
    Q_OBJECT

private slots:
    // A probe that never answers (a Bluetooth port whose device is off) holds up neither the
    // others, nor the caller, nor the program's exit: its port alone counts as busy.
    void unansweredProbeCountsBusy()
    {
        const auto probe = [](const QString &port) {
            if (port == "hung")
                QThread::sleep(3600);
            return port == "held";
        };
        QCOMPARE(boundedProbe({"hung", "idle", "held"}, probe, std::chrono::seconds(1)),
                 (QList<bool>{true, false, true}));
    }

#ifdef Q_OS_UNIX
    // Busy: a lock naming a live process (this one, another Wirelet, a UUCP-style program), or,
    // with no lock, another process holding the device open. A lock left by a program that is
    // gone is none.
    void busyWhileAnotherHoldsIt()
    {
        PseudoTerminal device, other;
        const QString path = device.portName();
        QSerialPort port(path);
        QVERIFY(!isBusy(path) && port.open(QIODevice::ReadWrite));
        QVERIFY(QFile::exists(portLockFilePath(path)) && isBusy(path));
        port.close();
        const pid_t holder = ::fork();
        if (holder == 0) {
            if (::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY) >= 0)
                ::pause();
            ::_exit(1);
        }
        auto reap = qScopeGuard([holder] {
            ::kill(holder, SIGKILL);
            ::waitpid(holder, nullptr, 0);
        });
        const QStringList both = {other.portName(), path}; // told apart in one look
        const bool held =
                QTest::qWaitFor([&] { return busyPorts(both) == QList<bool>{false, true}; });
        const QString lock = portLockFilePath(other.portName());
        auto unlock = qScopeGuard([&] { QFile::remove(lock); });
        const QByteArray padded = QByteArray::number(holder).rightJustified(10);
        QVERIFY(writeLock(lock, padded, " minicom alice\n") && isBusy(both[0]));
        reap.dismiss();
        ::kill(holder, SIGKILL);
        QVERIFY(held && ::waitpid(holder, nullptr, 0) == holder);
        QCOMPARE(busyPorts(both), (QList<bool>{false, false}));
    }

    // Every listed port busy: those no one holds are locked here for the test; a lock file
    // someone left is theirs, and is never touched.
    void allBusyWarnsAndOffersNone()
    {
        QStringList locks;
        auto unlock = qScopeGuard([&] {
            for (const QString &lock : qAsConst(locks))
                QFile::remove(lock);
        });
        for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
            const QString lock = portLockFilePath(port.systemLocation());
            if (isBusy(port.systemLocation()))
                continue;
            if (QFile::exists(lock)) {
                const QString why = lock + " names no live process, and is not the test's to touch";
                QTest::qSkip(qPrintable(why), __FILE__, __LINE__); // as QSKIP() would
                return;
            }
            locks.append(lock);
            QVERIFY(writeLock(lock, QByteArray::number(::getpid())));
        }
        ModalCatcher catcher;
        MainWindow window;
        QCOMPARE(catcher.boxes, QStringList{"Tip: 找不到空闲串口"});
        QCOMPARE(child<QComboBox>(&window, "portName")->count(), 0);
    }
#else
    // COM7 is offered. Wine holds no serial port exclusively, but it does files: the probe's
    // reading of a refused exclusive open, and that it lets go, are the same.
    void offersIdlePortsOnly()
    {
        PseudoTerminal device;
        MainWindow window;
        QVERIFY(child<QComboBox>(&window, "portName")->findText(device.portName()) >= 0);
        const QString path = QDir::toNativeSeparators(QDir::temp().filePath("wirelet-held"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        auto remove = qScopeGuard([&] { file.remove(); });
        const HANDLE held = ::CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()),
                                          GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        QVERIFY(held != INVALID_HANDLE_VALUE && isBusy(path));
        ::CloseHandle(held);
        QVERIFY(!isBusy(path) && !isBusy(path)); // idle, and the probe let go of it
    }
#endif
};

QTEST_MAIN(TestDiscovery)
#include "tst_discovery.moc"
