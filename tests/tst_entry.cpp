#include "mainwindow.h"
#include "pseudoterminal.h"
#include "windowhelpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QSerialPort>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>
#include <poll.h>

int wireletMain(int argc, char *argv[]);

// The real main(): closing its window, even with a port open and traffic flowing, ends the
// program with 0 and leaves the port closed and unlocked.
class TestEntry : public QObject
{
    Q_OBJECT

private slots:
    void closingWhileTrafficFlowsExitsCleanly();
};

namespace {

PseudoTerminal *g_device = nullptr;
bool g_portWasOpen = false;
bool g_portWasLocked = false;


// Runs as soon as main() has built its application object.
void driveTheWindowOnceShown()
{
    onceMainWindowShown([](MainWindow *window) {
        selectPort(*window, g_device->slavePath());
        window->findChild<QCheckBox *>("openCom")->click();
        g_portWasOpen = window->findChild<QSerialPort *>()->isOpen();
        g_portWasLocked = !portLocksHeldHere().isEmpty();
        window->findChild<QTextEdit *>("message")->setPlainText("a5 5a");
        auto *traffic = new QTimer(window);
        QObject::connect(traffic, &QTimer::timeout, window, [window] {
            g_device->write(QByteArray(64, '\x3c'));
            g_device->readAll();
            window->findChild<QPushButton *>("btnSend")->click();
        });
        traffic->start(2);
        QTimer::singleShot(300, window, &QWidget::close);
    });
}

} // namespace

void TestEntry::closingWhileTrafficFlowsExitsCleanly()
{
    const QStringList locksBefore = portLocksHeldHere();
    PseudoTerminal device;
    QVERIFY(device.isValid());
    g_device = &device;

    qAddPreRoutine(driveTheWindowOnceShown);
    char name[] = "wirelet";
    char *argv[] = {name, nullptr};
    QCOMPARE(wireletMain(1, argv), 0);

    QVERIFY(g_portWasOpen);
    QVERIFY(g_portWasLocked);
    QCOMPARE(portLocksHeldHere(), locksBefore);
    // Nobody holds the port any more: the device side sees the hang-up.
    device.readAll();
    pollfd master {device.masterDescriptor(), POLLIN, 0};
    QCOMPARE(::poll(&master, 1, 0), 1);
    QVERIFY(master.revents & POLLHUP);
}

QTEST_APPLESS_MAIN(TestEntry)
#include "tst_entry.moc"
