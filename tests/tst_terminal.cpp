#include "app/commlog.h"
#include "serial/logline.h"
#include "app/placement.h"
#include "rig.h"

#ifdef Q_OS_UNIX
#include <dlfcn.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>

// What reaches the system, in order: settings, flushes and drains.
static QStringList lineCalls;
static QMutex lineCallsLock; // tcdrain() runs on a thread of its own
// A pseudo-terminal's transmitter is empty at once; a UART's FIFO or a USB adapter's chip takes
// time, and the USB serial drivers' wait ignores a flush: the spy's takes `drainMs` (-1: until a
// signal comes).
static std::atomic<qint64> drainMs {0};

static void record(const char *call)
{
    const QMutexLocker locked(&lineCallsLock);
    lineCalls.append(call);
}

template <class Function>
static Function *system(const char *name)
{
    return reinterpret_cast<Function *>(dlsym(RTLD_NEXT, name));
}

extern "C" int tcsetattr(int fd, int actions, const termios *attributes)
{
    static const auto real = system<int(int, int, const termios *)>("tcsetattr");
    record("set");
    return real(fd, actions, attributes);
}

extern "C" int tcflush(int fd, int queue)
{
    static const auto real = system<int(int, int)>("tcflush");
    if (queue == TCOFLUSH)
        record("flush output");
    return real(fd, queue);
}

extern "C" int tcdrain(int fd)
{
    static const auto real = system<int(int)>("tcdrain");
    record("drain");
    const QDeadlineTimer transmitted(drainMs.load());
    const timespec tick {0, 1000000};
    while (!transmitted.hasExpired()) {
        if (::nanosleep(&tick, nullptr) != 0) {
            record("drain interrupted");
            return -1; // EINTR, as nanosleep() left it
        }
    }
    record("drained");
    return real(fd);
}
#endif

static QWidget *aboutDialog()
{
    for (QWidget *shown : QApplication::topLevelWidgets()) {
        if (shown->objectName() == "AboutDialog")
            return shown;
    }
    return nullptr;
}

// The window's parts, with the test playing the device; tst_app walks the user's path through
// the real program.
class TestTerminal : public QObject
{
    Q_OBJECT

private slots:
    void deviceLossClosesThePortOnce_data()
    {
        QTest::addColumn<QString>("doing"); // as the device goes
        QTest::newRow("device side closed") << "nothing";
        QTest::newRow("sent to a device gone") << "sending";
#ifdef Q_OS_UNIX
        QTest::newRow("gone while the transmitter drains") << "draining";
#endif
    }
    // Qt 5 reports the error again and again, spinning, while a lost device's port stays open:
    // it closes at once, with one warning, also in the middle of a close. What is sent as the
    // device goes is not logged.
    void deviceLossClosesThePortOnce()
    {
        QFETCH(QString, doing);
        TerminalRig rig;
        QVERIFY(rig.toggle());
#ifdef Q_OS_UNIX
        lineCalls.clear();
        drainMs = doing == "draining" ? -1 : 0;
        auto drains = qScopeGuard([] { drainMs = 0; });
        if (doing == "draining") {
            rig.openCom->click();
            QTRY_VERIFY(lineCalls.contains("drain"));
        }
#endif
        rig.device.unplug();
        if (doing == "sending")
            rig.send("0102");
        QTRY_COMPARE(rig.boxes, QStringList{"Tip: 串口已断开"});
        QVERIFY(!rig.port->isOpen() && !rig.openCom->isChecked() && !rig.btnSend->isEnabled());
        QVERIFY(rig.openCom->isEnabled() && rig.window->cursor().shape() == Qt::ArrowCursor);
        QTest::qWait(300);
        QVERIFY(rig.boxes.size() == 1 && rig.logLines().isEmpty());
    }

    void hexTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("logged"); // after " [send] ", or the warning when refused
        QTest::newRow("pairs and runs") << "01 A0ff" << "01 A0ff";
        // One event, one line: each line break is logged as one space.
        QTest::newRow("line breaks") << "01\r\nA0\tff\n\r" << "01 A0\tff  ";
        // Each of these used to send bytes nobody typed.
        for (const char *text : {"hello", "1 23", "12 3", "0x1F", "é", "十六", "01 😀", "０１"})
            QTest::newRow(text) << QString::fromUtf8(text) << "Tip: 发送内容不是有效的十六进制数据";
    }
    void hexTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, logged);
        TerminalRig rig;
        QVERIFY(rig.toggle());
        rig.window->sendMsg(text);
        QTest::qWait(50);
        const bool refused = logged.startsWith("Tip: ");
        QCOMPARE(rig.deviceReceived(), refused ? QByteArray() : QByteArray("\x01\xa0\xff"));
        QCOMPARE(rig.boxes, refused ? QStringList{logged} : QStringList());
        QTRY_COMPARE(rig.logLines().size(), refused ? 0 : 1);
        QVERIFY(refused || rig.logLines().first().mid(19) == " [send] " + logged);
    }

    // Dropping the oldest lines shrinks the scroll range, and Qt clamps the view: that is not the
    // user scrolling to the bottom. Whoever reads a few lines up in a full log, or a few hundred,
    // keeps the same line in view while the device streams.
    void readingWhileTheDeviceStreams()
    {
        TerminalRig rig;
        QVERIFY(rig.toggle());
        auto *log = child<CommLog>(rig.comLog);
        QTextDocument *document = rig.comLog->document();
        QScrollBar *bar = rig.comLog->verticalScrollBar();
        const auto topLine = [&] { return rig.comLog->cursorForPosition({0, 0}).block().text(); };
        QTimer device;
        connect(&device, &QTimer::timeout, &device, [&] { rig.device.write("\x01\x02\x03\x04"); });
        for (int steps : {3, 40, 400}) { // of the scroll bar's arrow, up from the bottom
            for (int n = document->blockCount(); n < CommLog::MaxLines - 20; ++n)
                log->append(logLine(Traffic::Sent, QString::number(n)));
            log->flush();
            bar->setValue(bar->maximum());
            for (int i = 0; i < steps; ++i)
                bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
            const QString reading = topLine();
            const int lines = document->blockCount();
            device.start(2);
            QTRY_VERIFY(document->blockCount() < lines); // trimmed
            QTest::qWait(100);
            device.stop();
            QVERIFY2(topLine() == reading, qPrintable(QString::number(steps)));
            QVERIFY(bar->value() < bar->maximum());
        }
    }

    // The available area's origin counts: the window must not land under a bar at the top.
    void placement()
    {
        const QRect window(0, 0, 676, 515);
        QCOMPARE(initialGeometry({0, 40, 1920, 1040}, window, 30), QRect(622, 302, 676, 515));
        QCOMPARE(initialGeometry({1920, 0, 1280, 984}, window, 30), QRect(2222, 234, 676, 515));
        QCOMPARE(initialGeometry({10, 20, 640, 480}, window, 30), QRect(10, 50, 640, 480));
    }

    // A picture missing from the bundle, or its image plug-in, leaves its label one flat colour.
    // The version a bug report needs ends the copyright line, which must not clip.
    void aboutDialogShowsItsPicturesAndVersion()
    {
        TerminalRig rig;
        child<QPushButton>(rig.window, "pushButton")->click();
        QVERIFY(QTest::qWaitForWindowExposed(aboutDialog()) && !aboutDialog()->isModal());
        for (const char *name : {"label_2", "label_4"}) {
            const QImage drawn = child<QLabel>(aboutDialog(), name)->grab().toImage();
            int varied = 0;
            for (int y = 0; y < drawn.height(); y += 3)
                varied += drawn.pixel(y % drawn.width(), y) != drawn.pixel(0, 0);
            QVERIFY2(varied > 10, name);
        }
        const QLabel *copyright = child<QLabel>(aboutDialog(), "label_5");
        QVERIFY2(copyright->text().endsWith(WIRELET_VERSION), qPrintable(copyright->text()));
        // Offscreen under Wine finds no font at all (an empty family): nothing to measure there.
        const QFontMetrics metrics = copyright->fontMetrics();
        if (!QFontInfo(copyright->font()).family().isEmpty())
            QVERIFY(metrics.horizontalAdvance(copyright->text()) <= copyright->width());
    }

#ifdef Q_OS_UNIX // devices in processes of their own, and what reaches the system
    // A device that echoes at once, in a process of its own.
    void repliesFollowTheirRequests()
    {
        TerminalRig rig;
        QVERIFY(rig.toggle());
        const pid_t echo = ::fork();
        if (echo == 0) {
            pollfd master {rig.device.master(), POLLIN, 0};
            char bytes[4096];
            while (::poll(&master, 1, -1) > 0 && !(master.revents & POLLHUP)) {
                const ssize_t n = ::read(master.fd, bytes, sizeof bytes);
                if (n > 0 && ::write(master.fd, bytes, size_t(n)) != n)
                    break;
            }
            ::_exit(0);
        }
        auto reap = qScopeGuard([echo] {
            ::kill(echo, SIGKILL);
            ::waitpid(echo, nullptr, 0);
        });
        rig.checkRepliesFollowRequests();
    }

    void closingLetsQueuedBytesDrainFirst()
    {
        TerminalRig rig;
        QWidget *log = rig.comLog->viewport(), *typing = rig.message->viewport();
        const auto cursors = [&] {
            return QVector<Qt::CursorShape>{rig.window->cursor().shape(), log->cursor().shape(),
                                            typing->cursor().shape()};
        };
        const QVector<Qt::CursorShape> own = cursors(), busy(3, Qt::BusyCursor);
        const auto restored = [&] { return cursors() == own; };
        const auto drainedBeforeRestore = [] {
            return lineCalls.lastIndexOf(QRegularExpression("drain(ed| interrupted)"))
                    < lineCalls.lastIndexOf("set");
        };
        // Unticking waits for the transmitter to empty, with the busy cursor over the whole window
        // saying why the box cannot reopen the port meanwhile; what the device says now is not
        // logged.
        QVERIFY(rig.toggle());
        lineCalls.clear();
        drainMs = 200;
        rig.openCom->click();
        QVERIFY(rig.port->isOpen() && !rig.openCom->isEnabled() && cursors() == busy);
        QVERIFY(rig.device.write("\x02"));
        QTRY_VERIFY(!rig.port->isOpen() && rig.openCom->isEnabled());
        QVERIFY(lineCalls.contains("drained") && drainedBeforeRestore());
        QVERIFY(!lineCalls.contains("flush output") && rig.boxes.isEmpty());
        QVERIFY(restored() && rig.logLines().isEmpty());

        // A transmitter that never empties, and that a flush does not wake, as a USB adapter's:
        // the window answers, and the close comes when the time is up.
        QVERIFY(rig.toggle());
        drainMs = -1;
        rig.openCom->click();
        const int emptyBudget = rig.session->drainTimeLeft();
        QTRY_VERIFY(lineCalls.contains("drain") && cursors() == busy);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.port->isOpen(), emptyBudget + 5000);
        const int flushed = lineCalls.indexOf("flush output");
        QVERIFY(flushed >= 0 && flushed < lineCalls.indexOf("drain interrupted"));
        QVERIFY(drainedBeforeRestore() && restored());
        QCOMPARE(rig.boxes, QStringList{"Tip: 串口关闭时仍有数据未发送"});
        rig.boxes.clear();
        drainMs = 0;

        // Closing the window, the about dialog still open, waits for Qt's queue, for 3 s at most
        // with a device that reads no more; what is left then is dropped, the system's part
        // before Qt restores the old speed, and not logged.
        QVERIFY(rig.toggle());
        const QByteArray bytes(64 * 1024, '\x5a'); // more than a pseudo-terminal takes at once
        child<QPushButton>(rig.window, "pushButton")->click();
        rig.send(QString::fromLatin1(bytes.toHex()));
        QTRY_VERIFY(!rig.deviceReceived().isEmpty());
        lineCalls.clear();
        QElapsedTimer closing;
        closing.start();
        rig.window->close();
        const int budget = rig.session->drainTimeLeft();
        QVERIFY(budget > 2900); // the most a close waits
        QTRY_VERIFY_WITH_TIMEOUT(!rig.port->isOpen(), budget + 5000);
        QVERIFY(closing.elapsed() >= budget && lineCalls.indexOf("flush output") >= 0);
        QVERIFY(lineCalls.indexOf("flush output") < lineCalls.lastIndexOf("set"));
        QVERIFY(!rig.window->isVisible() && aboutDialog()->isVisible() && restored());
        QCOMPARE(rig.boxes, QStringList{"Tip: 串口关闭时仍有数据未发送"});
        QVERIFY(rig.deviceReceived().size() < bytes.size());
        QTest::qWait(100);
        QVERIFY(rig.logLines().isEmpty());
    }
#endif
};

QTEST_MAIN(TestTerminal)
#include "tst_terminal.moc"
