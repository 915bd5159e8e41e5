#include "busyport.h"
#include "rig.h"

int wireletMain(int argc, char *argv[]);

namespace {

PseudoTerminal *device = nullptr;
QSizeF drawnSize;
bool portOpened = false;
int deviceReceived = 0;

void work(MainWindow *window)
{
    drawnSize = QSizeF(window->size()) * window->devicePixelRatioF();
    selectPort(*window, device->portName());
    child<QCheckBox>(window, "openCom")->click();
    portOpened = child<QSerialPort>(window)->isOpen();
    child<QTextEdit>(window, "message")->setPlainText("a5 5a");
    auto *traffic = new QTimer(window);
    QObject::connect(traffic, &QTimer::timeout, window, [window] {
        device->write(QByteArray(64, '\x3c'));
        deviceReceived += device->readAll().size();
        child<QPushButton>(window, "btnSend")->click();
    });
    traffic->start(2);
    QTimer::singleShot(300, window, &QWidget::close);
}

// Runs as soon as main() has made its application: works the window once it shows.
void waitForTheWindow()
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, qApp, [poll] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->close(); // no idle port on this machine
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<MainWindow *>(widget) && widget->isVisible()) {
                poll->stop();
                poll->deleteLater();
                return work(static_cast<MainWindow *>(widget));
            }
        }
    });
    poll->start(10);
}

} // namespace

// The real main(), closed while traffic flows. Where QT_FONT_DPI scales the screen (120, 144,
// 168: 125, 150, 175 %), the window scales by just that factor; Qt 5 made 150 % 200 %.
class TestApp : public QObject
{
    Q_OBJECT

private slots:
    void scalesAndExitsCleanlyWithTrafficFlowing()
    {
        PseudoTerminal terminal;
        device = &terminal;
        qAddPreRoutine(waitForTheWindow);
        char name[] = "wirelet";
        char *argv[] = {name, nullptr};
        QCOMPARE(wireletMain(1, argv), 0);
        QVERIFY(portOpened && deviceReceived > 0);
        const qreal factor = qEnvironmentVariableIntValue("QT_FONT_DPI") / 96.0;
        QVERIFY2(factor == 0
                         || (qAbs(drawnSize.width() - 676 * factor) <= 2
                             && qAbs(drawnSize.height() - 515 * factor) <= 2),
                 qPrintable(QString("%1x%2").arg(drawnSize.width()).arg(drawnSize.height())));
#ifdef Q_OS_UNIX
        QVERIFY(!QFile::exists(portLockFilePath(terminal.portName())));
#endif
    }
};

QTEST_APPLESS_MAIN(TestApp)
#include "tst_app.moc"
