#include "serial/busyport.h"
#include "rig.h"
#include "serial/wine.h"

int wireletMain(int argc, char *argv[]);

namespace {

std::unique_ptr<TerminalRig> rig; // over main()'s window, once it shows

// The user's path: a port that fails to open, then the device's: open, send, receive, close,
// reopen and close; then traffic both ways until the window closes.
void walk(MainWindow *window)
{
    auto close = qScopeGuard([window] { QTimer::singleShot(300, window, &QWidget::close); });
    // At 125, 150 or 175 % (QT_FONT_DPI) the window scales by just that: Qt 5 made 150 % 200 %.
    if (const qreal factor = qEnvironmentVariableIntValue("QT_FONT_DPI") / 96.0)
        QCOMPARE(QSizeF(window->size()) * window->devicePixelRatioF(), QSizeF(676, 515) * factor);
    rig = std::make_unique<TerminalRig>(window);
    // A port that fails to open is not left ticked, and one click retries.
    rig->offer(QDir::temp().filePath("wirelet-no-such-port"));
    QVERIFY(!rig->toggle() && !rig->openCom->isChecked() && !rig->btnSend->isEnabled());
    QCOMPARE(rig->boxes, QStringList{"Tip: 串口打开失败"});
    rig->offer(rig->device.portName());
    rig->chooseLineSettings({"38400", "7", "2", "EvenParity"});
    QVERIFY(rig->toggle() && rig->btnSend->isEnabled());
    // Under Wine, Qt reads only when nudged; nowhere else is it nudged.
    QCOMPARE(rig->session->isNudgingReads(), runningUnderWine());

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    rig->send("01 A0 ff");
    QTRY_COMPARE(rig->deviceReceived(), QByteArray("\x01\xa0\xff"));
    QTRY_COMPARE(rig->logLines().size(), 1);
    QVERIFY(rig->device.write("\x01\x02\xab\xff"));
    QTRY_COMPARE(rig->logLines().size(), 2);
    const QStringList lines = rig->logLines();
    const auto stamp = QDateTime::fromString(lines[1].left(19), "yyyy-MM-dd hh:mm:ss");
    QVERIFY2(stamp >= before && stamp <= QDateTime::currentDateTime(), qPrintable(lines[1]));
    QCOMPARE(lines[0].mid(19), QString(" [send] 01 A0 ff"));
    QCOMPARE(lines[1].mid(19), QString(" [recieve] 0102abff"));
    QCOMPARE(rig->message->toPlainText(), QString("01 A0 ff")); // ready to be sent again

    QVERIFY(!rig->toggle() && !rig->openCom->isChecked() && !rig->btnSend->isEnabled());
    const uint descriptors = QDir("/proc/self/fd").count(); // Linux
    // What the device says while the port is closed is never logged, not even once reopened.
    QVERIFY(rig->device.write("\xde\xad"));
    QTest::qWait(50);
    QVERIFY(rig->toggle());
    QTest::qWait(100);
    QVERIFY(rig->logLines().size() == 2 && rig->boxes.size() == 1);
    // Each opening gives back what it took; memory leaks fail the sanitizer build at exit.
    QVERIFY(!rig->toggle() && QDir("/proc/self/fd").count() == descriptors);
    QVERIFY(rig->toggle());

    auto *traffic = new QTimer(window);
    QObject::connect(traffic, &QTimer::timeout, window, [] {
        rig->device.write(QByteArray(64, '\x3c'));
        rig->deviceReceived();
        rig->btnSend->click();
    });
    traffic->start(2);
}

// Runs once main() has made its application, and again after a "no idle port" warning.
void walkOnceShown()
{
    QTimer::singleShot(0, qApp, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            box->done(QMessageBox::Ok);
            return walkOnceShown();
        }
        for (QWidget *shown : QApplication::topLevelWidgets()) {
            if (auto *window = qobject_cast<MainWindow *>(shown))
                return walk(window);
        }
    });
}

} // namespace

// The real main(), walked by a user and closed while traffic flows.
class TestApp : public QObject
{
    Q_OBJECT

private slots:
    void userPathAndCleanExit()
    {
        qAddPreRoutine(walkOnceShown);
        char name[] = "wirelet";
        char *argv[] = {name, nullptr};
        QCOMPARE(wireletMain(1, argv), 0);
        QVERIFY(rig && rig->received.size() > 3); // more than the first message: traffic flowed
#ifdef Q_OS_UNIX
        QVERIFY(!QFile::exists(portLockFilePath(rig->device.portName())));
#endif
        rig.reset();
    }
};

QTEST_APPLESS_MAIN(TestApp)
#include "tst_app.moc"
