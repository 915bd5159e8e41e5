#include "serial/boundedprobe.h"
#include "serial/busyport.h"
#include "rig.h"

#include <QSerialPortInfo>
#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
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
    // Busy: in any folder Qt looks in, a lock naming a live process (this one, another Wirelet, a
    // UUCP-style program) or what cannot be judged, unopened (a named pipe, a symbolic link, a lock
    // or a program another user may not read); another process holding the device open. Idle: a
    // lock whose process is gone, or that Qt takes over (another program's PID now, another boot).
    void busyWhileAnotherHoldsIt()
    {
        PseudoTerminal device, other;
        const QString path = device.portName();
        QSerialPort port(path);
        QFile qtLock(portLockFilePath(path));
        QVERIFY(port.open(QIODevice::ReadWrite) && qtLock.open(QFile::ReadOnly) && isBusy(path));
        const QByteArray written = qtLock.readAll(); // PID, program, host, machine id, boot id
        port.close();
        auto unlockQt = qScopeGuard([&] { qtLock.remove(); });
        const QString uucpLock = "/var/tmp/LCK.." + other.portName().mid(5).replace('/', '_');
        auto unlockUucp = qScopeGuard([&] { QFile::remove(uucpLock); }); // in a folder not Qt's
        for (const QByteArray &line : {QByteArray("tst_discovery"), QSysInfo::bootUniqueId()})
            QVERIFY(writeLock(qtLock.fileName(), QByteArray(written).replace(line, "other"), "")
                    && !isBusy(path));
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
        const QByteArray padded = QByteArray::number(holder).rightJustified(10);
        QVERIFY(writeLock(uucpLock, padded, " minicom alice\n") && isBusy(both[0]));
        reap.dismiss();
        ::kill(holder, SIGKILL);
        QVERIFY(held && ::waitpid(holder, nullptr, 0) == holder);
        QCOMPARE(busyPorts(both), (QList<bool>{false, false}));

        QVERIFY(qtLock.remove() && ::mkfifo(QFile::encodeName(qtLock.fileName()), 0666) == 0
                && QFile::remove(uucpLock) && QFile::link(both[0], uucpLock));
        QCOMPARE(busyPorts(both), (QList<bool>{true, true}));
        char byte;
        QVERIFY(::read(other.master(), &byte, 1) < 0 && errno == EAGAIN); // its tty never opened
        QVERIFY(qtLock.remove() && writeLock(qtLock.fileName(), QByteArray::number(::getpid()))
                && qtLock.setPermissions({}) && QFile::remove(uucpLock)
                && writeLock(uucpLock, "1\nnot-init"));
        const pid_t child = ::fork();
        if (child == 0) { // root reads anything: another user
            const bool dropped = ::getuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0);
            ::_exit(dropped && busyPorts(both) == QList<bool>{true, true} ? 0 : 1);
        }
        int status = -1;
        QVERIFY(::waitpid(child, &status, 0) == child && status == 0);
    }

    // Every listed port busy: locked here unless held; a lock someone left is theirs, untouched.
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
