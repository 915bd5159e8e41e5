#include "busyport.h"
#include "mainwindow.h"
#include "modalcatcher.h"
#include "pseudoterminal.h"

#include <QComboBox>
#include <QFile>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QtTest>
#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
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

void writeLock(const QString &path, qint64 pid)
{
    QFile lock(path);
    QVERIFY2(lock.open(QIODevice::WriteOnly), qPrintable(path));
    lock.write(QByteArray::number(pid) + '\n');
}

} // namespace

void TestDiscovery::lockFileCountsWhileItsProcessLives()
{
    PseudoTerminal device;
    const QString path = device.portName();
    QVERIFY(!isPortBusy(path));

    // The lock Qt takes while a port is open names a live process (this one), as it does
    // while another Wirelet holds the port.
    QSerialPort port(path);
    QVERIFY(port.open(QIODevice::ReadWrite));
    QVERIFY(QFile::exists(portLockFilePath(path)));
    QVERIFY(isPortBusy(path));
    port.close();
    QVERIFY(!isPortBusy(path));

    // A lock left behind by a program that is gone is no evidence.
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    QVERIFY(gone > 0 && ::waitpid(gone, nullptr, 0) == gone);
    writeLock(portLockFilePath(path), gone);
    const bool busyWithDeadLock = isPortBusy(path);
    QFile::remove(portLockFilePath(path));
    QVERIFY(!busyWithDeadLock);
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
    QVERIFY(holder > 0);
    // No lock file: only the other process's open descriptor tells.
    QTRY_VERIFY(isPortBusy(device.portName()));
    ::kill(holder, SIGKILL);
    QCOMPARE(::waitpid(holder, nullptr, 0), holder);
    QVERIFY(!isPortBusy(device.portName()));
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
        if (!QFile::exists(lock)) {
            writeLock(lock, ::getpid());
            locks.append(lock);
        }
        QVERIFY2(isPortBusy(port.systemLocation()), qPrintable(port.portName()));
    }

    ModalCatcher catcher;
    MainWindow window;
    QCOMPARE(catcher.boxes().size(), 1);
    const ModalCatcher::Box box = catcher.boxes().first();
    QCOMPARE(box.title, QString("Tip"));
    QCOMPARE(box.text, QString("找不到空闲串口"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QVERIFY(!box.hasParent);
    QVERIFY(!box.mainWindowVisible);
    QCOMPARE(window.findChild<QComboBox *>("portName")->count(), 0);
}

#else
void TestDiscovery::listsTheIdlePorts()
{
    PseudoTerminal device; // the ports Wine knows as COM7 and COM8
    QVERIFY(device.isValid());
    MainWindow window;
    QVERIFY(window.findChild<QComboBox *>("portName")->findText(device.portName()) >= 0);
}

// Wine enforces no exclusive opening of serial ports, but it does of files: what the probe
// sees, and that it lets go, is the same.
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
    QVERIFY(!isPortBusy(path));
    QVERIFY(!isPortBusy(path)); // the probe let go of it
}
#endif

QTEST_MAIN(TestDiscovery)
#include "tst_discovery.moc"
