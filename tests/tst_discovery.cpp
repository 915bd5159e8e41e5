#include "busyport.h"
#include "rig.h"

#include <QComboBox>
#include <QSerialPortInfo>
#include <QtTest>
#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#endif

// Which ports are offered: those no other program holds, with a warning when there is none.
class TestDiscovery : public QObject
{
    Q_OBJECT

private slots:
#ifdef Q_OS_UNIX
    void lockFileCountsWhileItsProcessLives();
    void portOpenInAnotherProcessIsBusy();
    void allBusyWarnsBeforeShowing();
#else
    void listsTheIdlePorts();
    void exclusiveHolderMakesBusy();
#endif
};

#ifdef Q_OS_UNIX
namespace {

bool writeLock(const QString &path, qint64 pid)
{
    QFile lock(path);
    return lock.open(QIODevice::WriteOnly) && lock.write(QByteArray::number(pid) + '\n') > 0;
}

} // namespace

void TestDiscovery::lockFileCountsWhileItsProcessLives()
{
    PseudoTerminal device;
    const QString path = device.portName();
    QVERIFY(!isPortBusy(path));
    // The lock Qt takes while a port is open names a live process: this one, or another Wirelet.
    QSerialPort port(path);
    QVERIFY(port.open(QIODevice::ReadWrite));
    QVERIFY(QFile::exists(portLockFilePath(path)) && isPortBusy(path));
    port.close();
    QVERIFY(!isPortBusy(path));
    // A lock left behind by a program that is gone is no evidence.
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    QCOMPARE(::waitpid(gone, nullptr, 0), gone);
    QVERIFY(writeLock(portLockFilePath(path), gone));
    const bool busy = isPortBusy(path);
    QFile::remove(portLockFilePath(path));
    QVERIFY(!busy);
}

void TestDiscovery::portOpenInAnotherProcessIsBusy()
{
    PseudoTerminal device;
    const QByteArray path = device.portName().toLocal8Bit();
    const pid_t holder = ::fork();
    if (holder == 0) {
        if (::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK) >= 0)
            ::pause();
        ::_exit(1);
    }
    // No lock file: only the other process's open descriptor tells.
    const bool busy = QTest::qWaitFor([&] { return isPortBusy(device.portName()); });
    ::kill(holder, SIGKILL);
    QCOMPARE(::waitpid(holder, nullptr, 0), holder);
    QVERIFY(busy && !isPortBusy(device.portName()));
}

void TestDiscovery::allBusyWarnsBeforeShowing()
{
    // Every port this machine lists is marked as held by this process.
    QStringList locks;
    auto unlock = qScopeGuard([&] {
        for (const QString &lock : qAsConst(locks))
            QFile::remove(lock);
    });
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts()) {
        const QString lock = portLockFilePath(port.systemLocation());
        QVERIFY2(!QFile::exists(lock), qPrintable(lock + " is someone else's"));
        locks.append(lock);
        QVERIFY(writeLock(lock, ::getpid()));
    }
    ModalCatcher catcher;
    MainWindow window;
    QCOMPARE(catcher.boxes, QStringList{"Tip: 找不到空闲串口"});
    QVERIFY(!catcher.mainWindowShownUnderABox);
    QCOMPARE(window.findChild<QComboBox *>("portName")->count(), 0);
}
#else
void TestDiscovery::listsTheIdlePorts()
{
    PseudoTerminal device; // the pseudo-terminal Wine knows as COM7
    MainWindow window;
    QVERIFY(window.findChild<QComboBox *>("portName")->findText(device.portName()) >= 0);
}

// Wine enforces no exclusive opening of serial ports, but it does of files: the probe's
// reading of a refused exclusive open, and that it lets go, are the same.
void TestDiscovery::exclusiveHolderMakesBusy()
{
    const QString path = QDir::toNativeSeparators(QDir::temp().filePath("wirelet-held"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    auto remove = qScopeGuard([&] { file.remove(); });
    const HANDLE held = ::CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()),
                                      GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                      nullptr);
    QVERIFY(held != INVALID_HANDLE_VALUE);
    QVERIFY(isPortBusy(path));
    ::CloseHandle(held);
    QVERIFY(!isPortBusy(path) && !isPortBusy(path)); // idle, and the probe let go of it
}
#endif

QTEST_MAIN(TestDiscovery)
#include "tst_discovery.moc"
