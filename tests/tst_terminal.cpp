#include "commlog.h"
#include "logline.h"
#include "placement.h"
#include "rig.h"

#ifdef Q_OS_UNIX
#include <cstdarg>
#include <dlfcn.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>

// Stand in for tcsetattr()/tcgetattr(): a pseudo-terminal keeps 8 data bits and no parity, so
// only what Qt asks for tells whether a setting reached the system. The pty gets 8 bits and no
// parity, or Qt 5 would be refused as it applies them again; Qt reads back what it asked for.
static QHash<int, QVector<termios>> requests;
// A pseudo-terminal's output queue is always empty; a UART's is not. The spy reports 64 bytes
// queued until `heldUntil` or a flush, and records flushes and settings in order.
static QDeadlineTimer heldUntil;
static QStringList lineCalls;

template <class Function>
static Function *system(const char *name)
{
    return reinterpret_cast<Function *>(dlsym(RTLD_NEXT, name));
}

extern "C" int tcsetattr(int fd, int actions, const termios *attributes)
{
    static const auto real = system<int(int, int, const termios *)>("tcsetattr");
    requests[fd].append(*attributes);
    lineCalls.append("set");
    termios forwarded = *attributes;
    forwarded.c_cflag = (forwarded.c_cflag & ~(CSIZE | PARENB | PARODD)) | CS8;
    return real(fd, actions, &forwarded);
}

extern "C" int tcgetattr(int fd, termios *attributes)
{
    static const auto real = system<int(int, termios *)>("tcgetattr");
    const int result = real(fd, attributes);
    if (result == 0 && requests.contains(fd))
        *attributes = requests.value(fd).last();
    return result;
}

extern "C" int ioctl(int fd, unsigned long request, ...)
{
    static const auto real = system<int(int, unsigned long, void *)>("ioctl");
    va_list rest;
    va_start(rest, request);
    void *argument = va_arg(rest, void *);
    va_end(rest);
    if (request != TIOCOUTQ || heldUntil.hasExpired())
        return real(fd, request, argument);
    *static_cast<int *>(argument) = 64;
    return 0;
}

extern "C" int tcflush(int fd, int queue)
{
    static const auto real = system<int(int, int)>("tcflush");
    if (queue == TCOFLUSH) {
        heldUntil = QDeadlineTimer();
        lineCalls.append("flush output");
    }
    return real(fd, queue);
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
        QTest::addColumn<bool>("sending"); // a message, as the device goes
        QTest::newRow("device side closed") << false;
        QTest::newRow("sent to a device gone") << true;
    }
    // Qt 5 reports the error again and again, spinning, while a lost device's port stays open:
    // it closes at once, with one warning. What is sent as the device goes is not logged.
    void deviceLossClosesThePortOnce()
    {
        QFETCH(bool, sending);
        TerminalRig rig;
        QVERIFY(rig.toggle());
        rig.device.unplug();
        if (sending)
            rig.send("0102");
        QTRY_COMPARE(rig.boxes, QStringList{"Tip: 串口已断开"});
        QVERIFY(!rig.port->isOpen() && !rig.openCom->isChecked() && !rig.btnSend->isEnabled());
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

    void logKeepsSelectionAndFollowsOnlyAtTheBottom()
    {
        // Into an empty log, a burst of any size, then short lines: the view stays at the bottom,
        // also when the scroll bar first appears after a flush and the text wraps anew.
        for (int size = 2000; size <= 10000; size += 100) {
            QTextBrowser view;
            view.resize(341, 321); // the window's
            view.show();
            CommLog log(&view);
            const QByteArray burst(size, '\x5a');
            for (int at = 0; at < size; at += 4095) // what a pseudo-terminal hands over at once
                log.append(logLine(Traffic::Received, burst.mid(at, 4095).toHex()));
            QScrollBar *bar = view.verticalScrollBar();
            for (const char *more : {"", "0102"}) {
                log.append(logLine(Traffic::Received, more));
                log.flush();
                QCoreApplication::processEvents();
                QVERIFY2(bar->value() == bar->maximum(), qPrintable(QString::number(size)));
            }
            if (size < 10000)
                continue;
            // The user selects the first line and scrolls up to read: both stay as new lines come.
            QTextCursor selection(view.document()->firstBlock());
            selection.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
            view.setTextCursor(selection);
            bar->setValue(bar->maximum() / 2);
            const int reading = bar->value();
            log.append("aa\n");
            log.flush();
            QVERIFY(view.toPlainText().endsWith("aa\n") && view.textCursor().hasSelection());
            QCOMPARE(view.textCursor().selectedText(), view.document()->firstBlock().text());
            QCOMPARE(bar->value(), reading);
            bar->setValue(bar->maximum()); // back at the bottom, the view follows again
            log.append("bb\n");
            log.flush();
            QCOMPARE(bar->value(), bar->maximum());
        }
    }

    // Short lines beyond the bound, and a line longer than the bound, which stays whole, alone.
    void logBoundKeepsTheNewestWholeLines()
    {
        const QPair<int, int> widthsAndCounts[] = {qMakePair(20, CommLog::MaxLines * 2 + 123),
                                                   qMakePair(CommLog::MaxCharacters + 10, 2)};
        for (const QPair<int, int> &widthAndCount : widthsAndCounts) {
            QTextBrowser view;
            CommLog log(&view);
            const int count = widthAndCount.second;
            for (int n = 0; n < count; ++n)
                log.append(QString::number(n).leftJustified(widthAndCount.first, 'a') + '\n');
            log.flush();
            const QStringList lines = view.toPlainText().split('\n', Qt::SkipEmptyParts);
            // No more go than the bound asks: a tenth of it at a time.
            QVERIFY(lines.size() >= qMin(count - 1, CommLog::MaxLines * 9 / 10));
            QVERIFY(lines.size() <= CommLog::MaxLines);
            QVERIFY(lines.size() == 1
                    || view.document()->characterCount() <= CommLog::MaxCharacters);
            for (int i = 0; i < lines.size(); ++i) // the newest, in order, none missing
                QCOMPARE(lines.at(i).section('a', 0, 0).toInt(), count - lines.size() + i);
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
    // A device that echoes at once: no reply may be logged above the request it answers.
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
        for (int i = 0; i < 100; ++i) {
            rig.send("010203");
            QTest::qWait(5);
        }
        const auto bytes = [](const QStringList &lines) {
            int count = 0;
            for (const QString &line : lines)
                count += line.section("] ", 1).size() / 2;
            return count;
        };
        QTRY_COMPARE(bytes(rig.logLines().filter(" [recieve] ")), 300);
        const QStringList lines = rig.logLines();
        for (int i = 0; i < lines.size(); ++i) { // at every line, no more answered than sent
            const QStringList upToHere = lines.mid(0, i + 1);
            QVERIFY2(bytes(upToHere.filter(" [recieve] ")) <= bytes(upToHere.filter(" [send] ")),
                     qPrintable(lines[i]));
        }
    }

    void closingLetsQueuedBytesDrainFirst()
    {
        TerminalRig rig;
        // Unticking waits for what the system still holds, with the cursor saying why the box
        // cannot reopen the port meanwhile; what the device says now is not logged.
        QVERIFY(rig.toggle());
        heldUntil.setRemainingTime(300);
        QVERIFY(rig.toggle() && !rig.openCom->isEnabled());
        QCOMPARE(rig.window->cursor().shape(), Qt::BusyCursor);
        QVERIFY(rig.device.write("\x02"));
        QTRY_VERIFY(!rig.port->isOpen() && rig.openCom->isEnabled());
        QVERIFY(heldUntil.hasExpired() && !lineCalls.contains("flush output"));
        QVERIFY(rig.window->cursor().shape() == Qt::ArrowCursor && rig.logLines().isEmpty());

        // And for Qt's queue: more than a pseudo-terminal holds while its device reads nothing.
        QVERIFY(rig.toggle());
        const QByteArray bytes(64 * 1024, '\x5a');
        rig.send(QString::fromLatin1(bytes.toHex()));
        QTRY_VERIFY(!rig.deviceReceived().isEmpty() && rig.port->bytesToWrite() > 0);
        QVERIFY(rig.device.write("\x01")); // the device answers meanwhile: that is logged first
        QTRY_COMPARE(rig.logLines().size(), 1);
        QVERIFY(rig.toggle() && !rig.openCom->isEnabled());
        QTRY_COMPARE(rig.deviceReceived(), bytes);
        QTRY_VERIFY(!rig.port->isOpen() && rig.openCom->isEnabled());
        QCOMPARE(rig.logLines().size(), 2);
        QVERIFY(rig.logLines().at(1).endsWith(" [send] " + bytes.toHex()));

        // So does closing the window, the about dialog still open, for 3 s at most; what is left
        // then is dropped, the system's part before Qt restores the old speed, and not logged.
        QVERIFY(rig.toggle());
        child<QPushButton>(rig.window, "pushButton")->click();
        rig.send(QString::fromLatin1(bytes.toHex()));
        QTRY_VERIFY(rig.deviceReceived().size() > bytes.size());
        heldUntil = QDeadlineTimer(QDeadlineTimer::Forever);
        lineCalls.clear();
        QElapsedTimer closing;
        closing.start();
        rig.window->close();
        const int budget = child<QTimer>(rig.window, "drainDeadline")->remainingTime();
        QVERIFY(budget > 2900); // the most a close waits
        QTRY_VERIFY_WITH_TIMEOUT(!rig.port->isOpen(), budget + 5000);
        QVERIFY(closing.elapsed() >= budget && lineCalls.indexOf("flush output") >= 0);
        QVERIFY(lineCalls.indexOf("flush output") < lineCalls.lastIndexOf("set"));
        QVERIFY(!rig.window->isVisible() && aboutDialog()->isVisible());
        QCOMPARE(rig.boxes, QStringList{"Tip: 串口关闭时仍有数据未发送"});
        QVERIFY(rig.deviceReceived().size() < 2 * bytes.size());
        QTest::qWait(100);
        QCOMPARE(rig.logLines().size(), 2);
    }

    void lineSettingsReachTheSystem_data()
    {
        QTest::addColumn<QStringList>("chosen");
        QTest::addColumn<speed_t>("speed");
        QTest::addColumn<tcflag_t>("flags");
        QTest::newRow("38400 7 2 even") << QStringList{"38400", "7", "2", "EvenParity"}
                                        << speed_t(B38400) << tcflag_t(CS7 | CSTOPB | PARENB);
        QTest::newRow("4800 5 1 odd") << QStringList{"4800", "5", "1", "OddParity"}
                                      << speed_t(B4800) << tcflag_t(CS5 | PARENB | PARODD);
    }

    // Every request carries the chosen framing, the last the speed; a change while open waits.
    void lineSettingsReachTheSystem()
    {
        QFETCH(QStringList, chosen);
        QFETCH(speed_t, speed);
        QFETCH(tcflag_t, flags);
        TerminalRig rig;
        rig.chooseLineSettings(chosen);
        requests.clear();
        QVERIFY(rig.toggle() && requests.size() == 1);
        const QVector<termios> made = requests.begin().value();
        QVERIFY(cfgetospeed(&made.last()) == speed && cfgetispeed(&made.last()) == speed);
        for (const termios &t : made) {
            QCOMPARE(t.c_cflag & (CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS), flags);
            QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(0));
        }
        rig.chooseLineSettings({"19200", chosen[1], chosen[2], chosen[3]});
        QCOMPARE(requests.begin().value().size(), made.size());
    }
#endif
};

QTEST_MAIN(TestTerminal)
#include "tst_terminal.moc"
