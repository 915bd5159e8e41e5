#include "busyport.h"
#include "mainwindow.h"
#include "modalcatcher.h"
#include "pseudoterminal.h"

#include <QComboBox>
#include <QFile>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

// Which ports are offered: those no other program holds, with a warning when there is none.
class TestDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void lockFileCountsWhileItsProcessLives();
    void portOpenInAnotherProcessIsBusy();
    void allBusyWarnsBeforeShowing();
};

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
    const QString path = device.slavePath();
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
    const QByteArray path = device.slavePath().toLocal8Bit();
    const pid_t holder = ::fork();
    if (holder == 0) {
        if (::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK) >= 0)
            ::pause();
        ::_exit(1);
    }
    QVERIFY(holder > 0);
    // No lock file: only the other process's open descriptor tells.
    QTRY_VERIFY(isPortBusy(device.slavePath()));
    ::kill(holder, SIGKILL);
    QCOMPARE(::waitpid(holder, nullptr, 0), holder);
    QVERIFY(!isPortBusy(device.slavePath()));
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

QTEST_MAIN(TestDiscovery)
#include "tst_discovery.moc"
