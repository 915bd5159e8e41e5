#include "rig.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>
#ifdef Q_OS_UNIX
#include <poll.h>
#endif

int wireletMain(int argc, char *argv[]);

// The real main(), closed while traffic flows; where QT_FONT_DPI scales the screen (120, 144,
// 168: 125 %, 150 %, 175 %), the window scales by just that factor.
class TestApp : public QObject
{
    Q_OBJECT

private slots:
    void scalesAndExitsCleanlyWithTrafficFlowing();
};

namespace {

PseudoTerminal *g_device = nullptr;
QSizeF g_drawnSize;
bool g_portWasOpen = false;
qint64 g_deviceReceived = 0;

void driveOnceShown(MainWindow *window)
{
    g_drawnSize = QSizeF(window->size()) * window->devicePixelRatioF();
    selectPort(*window, g_device->portName());
    window->findChild<QCheckBox *>("openCom")->click();
    g_portWasOpen = window->findChild<QSerialPort *>()->isOpen();
    window->findChild<QTextEdit *>("message")->setPlainText("a5 5a");
    auto *traffic = new QTimer(window);
    QObject::connect(traffic, &QTimer::timeout, window, [window] {
        g_device->write(QByteArray(64, '\x3c'));
        g_deviceReceived += g_device->readAll().size();
        window->findChild<QPushButton *>("btnSend")->click();
    });
    traffic->start(2);
    QTimer::singleShot(300, window, &QWidget::close);
}

// Runs as soon as main() has built its application object.
void waitForTheWindow()
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, qApp, [poll] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMessageBox *>(widget)) // no idle port on this machine
                widget->close();
            auto *window = qobject_cast<MainWindow *>(widget);
            if (window && window->isVisible()) {
                poll->stop();
                poll->deleteLater();
                driveOnceShown(window);
                return;
            }
        }
    });
    poll->start(10);
}

} // namespace

void TestApp::scalesAndExitsCleanlyWithTrafficFlowing()
{
    PseudoTerminal device;
    g_device = &device;
    qAddPreRoutine(waitForTheWindow);
    char name[] = "wirelet";
    char *argv[] = {name, nullptr};
    QCOMPARE(wireletMain(1, argv), 0);
    QVERIFY(g_portWasOpen && g_deviceReceived > 0);
    // Qt 5 rounded the factor: at 150 % the window came out at 200 %.
    const qreal factor = qEnvironmentVariableIntValue("QT_FONT_DPI") / 96.0;
    QVERIFY2(factor == 0
                     || (qAbs(g_drawnSize.width() - 676 * factor) <= 2
                         && qAbs(g_drawnSize.height() - 515 * factor) <= 2),
             qPrintable(QString("%1x%2").arg(g_drawnSize.width()).arg(g_drawnSize.height())));
#ifdef Q_OS_UNIX
    QVERIFY(portLocksHeldHere().isEmpty());
    // Nobody holds the port any more: the device side sees the hang-up.
    device.readAll();
    pollfd master {device.master(), POLLIN, 0};
    QVERIFY(::poll(&master, 1, 0) == 1 && (master.revents & POLLHUP));
#endif
}

QTEST_APPLESS_MAIN(TestApp)
#include "tst_app.moc"
