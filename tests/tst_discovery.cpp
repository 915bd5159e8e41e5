#include "busyport.h"
#include "rig.h"

#include <QSerialPortInfo>
#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>

static bool writeLock(const QString &path, qint64 pid)
{
    QFile lock(path);
    return lock.open(QIODevice::WriteOnly) && lock.write(QByteArray::number(pid) + '\n') > 0;
}
#endif

// Which ports are offered: those no other program holds, with a warning when there is none.
class TestDiscovery : public QObject
{
    Q_OBJECT

private slots:
#ifdef Q_OS_UNIX
    // Busy: Qt's lock naming a live process (this one, or another Wirelet), or, with no lock,
    // another process holding the device open. A lock left by a program that is gone is none.
    void busyWhileAnotherHoldsIt()
    {
        PseudoTerminal device;
        const QString path = device.portName();
        QSerialPort port(path);
        QVERIFY(!isPortBusy(path) && port.open(QIODevice::ReadWrite));
        QVERIFY(QFile::exists(portLockFilePath(path)) && isPortBusy(path));
        port.close();
        const pid_t holder = ::fork();
        if (holder == 0) {
            if (::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY) >= 0)
                ::pause();
            ::_exit(1);
        }
        const bool held = QTest::qWaitFor([&] { return isPortBusy(path); });
        ::kill(holder, SIGKILL);
        QVERIFY(held && ::waitpid(holder, nullptr, 0) == holder && !isPortBusy(path));
        const QString lock = portLockFilePath(path);
        QVERIFY(writeLock(lock, holder) && !isPortBusy(path) && QFile::remove(lock));
    }

    void allBusyWarnsAndOffersNone()
    {
        QStringList locks; // every port this machine lists, marked as held by this process
        auto unlock = qScopeGuard([&] {
            for (const QString &lock : qAsConst(locks))
                QFile::remove(lock);
        });
        for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
            locks.append(portLockFilePath(port.systemLocation()));
            QVERIFY2(!QFile::exists(locks.last()), qPrintable(locks.last() + " is someone else's"));
            QVERIFY(writeLock(locks.last(), ::getpid()));
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
        QVERIFY(held != INVALID_HANDLE_VALUE && isPortBusy(path));
        ::CloseHandle(held);
        QVERIFY(!isPortBusy(path) && !isPortBusy(path)); // idle, and the probe let go of it
    }
#endif
};

QTEST_MAIN(TestDiscovery)
#include "tst_discovery.moc"
