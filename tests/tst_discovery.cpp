#include "idleports.h"
#include "mainwindow.h"
#include "modalcatcher.h"
#include "windowhelpers.h"

#include <QComboBox>
#include <QFile>
#include <QSerialPortInfo>
#include <QtTest>
#include <unistd.h>

namespace {

struct FakePort
{
    QString name;
    bool busy;
    QString portName() const { return name; }
    bool isBusy() const { return busy; }
};

} // namespace

Q_DECLARE_METATYPE(QVector<FakePort>)

// Which ports are offered, and the warning when none is.
class TestDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void idleOnly_data();
    void idleOnly();
    void allBusyWarnsBeforeShowing();
    void idlePortsAreListedWithoutWarning();

private:
    QStringList lockAllListedPorts();
};

void TestDiscovery::idleOnly_data()
{
    QTest::addColumn<QVector<FakePort>>("ports");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("none") << QVector<FakePort>{} << QStringList{};
    QTest::newRow("all busy") << QVector<FakePort>{{"COM1", true}, {"COM2", true}}
                              << QStringList{};
    QTest::newRow("COM1 busy, COM3 idle") << QVector<FakePort>{{"COM1", true}, {"COM3", false}}
                                          << QStringList{"COM3"};
    QTest::newRow("enumeration order kept")
            << QVector<FakePort>{{"COM3", false}, {"COM2", true}, {"COM1", false}}
            << QStringList{"COM3", "COM1"};
}

void TestDiscovery::idleOnly()
{
    QFETCH(QVector<FakePort>, ports);
    QFETCH(QStringList, expected);
    QCOMPARE(idlePortNames(ports), expected);
}

// Marks every port this machine lists as held by this process, the way serial programs
// on Linux do, and returns the lock files it made so the test can remove them again.
QStringList TestDiscovery::lockAllListedPorts()
{
    QStringList made;
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports) {
        QFile lock(portLockDirectory() + QStringLiteral("/LCK..") + port.portName());
        if (lock.exists())
            continue;
        if (!lock.open(QIODevice::WriteOnly)) {
            qWarning() << "cannot write" << lock.fileName();
            continue;
        }
        lock.write(pid);
        made.append(lock.fileName());
    }
    return made;
}

void TestDiscovery::allBusyWarnsBeforeShowing()
{
    const QStringList locks = lockAllListedPorts();
    auto unlock = qScopeGuard([&] {
        for (const QString &file : locks)
            QFile::remove(file);
    });
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts())
        QVERIFY2(port.isBusy(), qPrintable(port.portName() + " could not be marked busy"));

    ModalCatcher catcher;
    MainWindow window;
    QCOMPARE(catcher.boxes().size(), 1);
    const ModalCatcher::Box box = catcher.boxes().first();
    QCOMPARE(box.title, QString("Tip"));
    QCOMPARE(box.text, QString("找不到空闲串口"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!box.hasParent);
    QVERIFY(!box.mainWindowVisible);

    auto *portName = window.findChild<QComboBox *>("portName");
    QVERIFY(portName);
    QCOMPARE(portName->count(), 0);

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(catcher.boxes().size(), 1);
}

void TestDiscovery::idlePortsAreListedWithoutWarning()
{
    const QStringList idle = idlePortNames(QSerialPortInfo::availablePorts());

    ModalCatcher catcher;
    MainWindow window;
    auto *portName = window.findChild<QComboBox *>("portName");
    QVERIFY(portName);
    QStringList listed;
    for (int i = 0; i < portName->count(); ++i)
        listed.append(portName->itemText(i));
    QCOMPARE(listed, idle);
    QCOMPARE(portName->currentIndex(), idle.isEmpty() ? -1 : 0);
    QCOMPARE(catcher.boxes().size(), idle.isEmpty() ? 1 : 0);
}

QTEST_MAIN(TestDiscovery)
#include "tst_discovery.moc"
