// Measures Wirelet's receive path, from a kernel pseudo-terminal to the log on screen, against
// the bare cost of reading, hex-encoding and formatting the same bytes without any widget.

#include "app/commlog.h"
#include "serial/logline.h"
#include "rig.h"
#include "usage.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSerialPort>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double MB = 1024.0 * 1024.0;

// Writes to the device side from a thread of its own, as fast as the tty takes it or paced
// like a device at a given baud rate.
class Producer
{
public:
    Producer(int master, int chunk, double bytesPerSecond, qint64 total)
        : m_thread([=] { run(master, chunk, bytesPerSecond, total); })
    {
    }
    ~Producer() { m_thread.join(); }
    bool finished() const { return m_finished; }

private:
    void run(int master, int chunk, double bytesPerSecond, qint64 total)
    {
        std::vector<char> data(static_cast<size_t>(chunk));
        for (int i = 0; i < chunk; ++i)
            data[size_t(i)] = char(i * 37 + 11);
        const auto start = Clock::now();
        qint64 sent = 0;
        while (sent < total) {
            if (bytesPerSecond > 0) {
                const auto due = start + std::chrono::duration<double>(sent / bytesPerSecond);
                std::this_thread::sleep_until(due);
            }
            qint64 offset = 0;
            while (offset < chunk) {
                const ssize_t n = ::write(master, data.data() + offset, size_t(chunk - offset));
                if (n > 0) {
                    offset += n;
                    continue;
                }
                pollfd waitFor {master, POLLOUT, 0};
                ::poll(&waitFor, 1, 100);
            }
            sent += chunk;
        }
        m_finished = true;
    }

    std::atomic<bool> m_finished {false};
    std::thread m_thread;
};

// Posts a stamped call to the GUI thread every few milliseconds and records how late each
// one is served: what a user's click or key press would wait.
class LatencyProbe
{
public:
    explicit LatencyProbe(QObject *gui)
        : m_thread([this, gui] {
              while (!m_stop) {
                  const auto posted = Clock::now();
                  QMetaObject::invokeMethod(
                          gui,
                          [this, posted] {
                              m_delays.push_back(
                                      std::chrono::duration<double, std::milli>(Clock::now() - posted)
                                              .count());
                          },
                          Qt::QueuedConnection);
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
          })
    {
    }
    ~LatencyProbe()
    {
        m_stop = true;
        m_thread.join();
    }
    double percentile(double p)
    {
        if (m_delays.empty())
            return 0;
        std::vector<double> sorted = m_delays;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, size_t(p * double(sorted.size())))];
    }

private:
    std::atomic<bool> m_stop {false};
    std::vector<double> m_delays; // touched only on the GUI thread
    std::thread m_thread;
};

struct Run
{
    double megabytes = 0;
    double wall = 0;
    double cpu = 0;
    double p99 = 0;
    double rss = 0;
    double cpuPerMB() const { return cpu / megabytes; }
    double mbPerSecond() const { return megabytes / wall; }
};

// Feeds `total` bytes through the pseudo-terminal and waits until the reader has taken them.
Run feed(PseudoTerminal &device, int chunk, double bytesPerSecond, qint64 total)
{
    const int probe = ::open(device.portName().toLocal8Bit().constData(),
                             O_RDWR | O_NOCTTY | O_NONBLOCK);
    LatencyProbe latency(qApp);
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = Usage::threadCpuSeconds();
    {
        Producer producer(device.master(), chunk, bytesPerSecond, total);
        // Wait in the event loop, as the program would, until the reader has taken it all.
        QEventLoop loop;
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, [&] {
            int pending = 0;
            ::ioctl(probe, FIONREAD, &pending);
            if (producer.finished() && pending == 0)
                loop.quit();
        });
        check.start(10);
        loop.exec();
    }
    // Let the last lines reach the view and be painted.
    QEventLoop settle;
    QTimer::singleShot(3 * CommLog::FlushIntervalMs, &settle, &QEventLoop::quit);
    settle.exec();
    ::close(probe);

    Run run;
    run.megabytes = total / MB;
    run.wall = wall.elapsed() / 1000.0;
    run.cpu = Usage::threadCpuSeconds() - cpuBefore;
    run.p99 = latency.percentile(0.99);
    run.rss = Usage::residentMegabytes();
    return run;
}

// The bare path on a pseudo-terminal of its own: read, hex, line, and nothing shown.
Run floorRun(int chunk, double bytesPerSecond, qint64 total)
{
    PseudoTerminal device;
    QSerialPort port(device.portName());
    qint64 characters = 0;
    QObject::connect(&port, &QSerialPort::readyRead, [&] {
        const QByteArray bytes = port.readAll();
        characters += logLine(Traffic::Received,
                              QString::fromLatin1(bytes.toHex()))
                              .size();
    });
    port.open(QIODevice::ReadWrite);
    const Run run = feed(device, chunk, bytesPerSecond, total);
    port.close();
    return run;
}

void printHeader()
{
    std::printf("%-30s %7s %7s %9s %9s %8s %7s %7s\n", "run", "MB/s", "CPU %", "CPU s/MB",
                "floor", "x floor", "p99 ms", "RSS MB");
}

void printRow(const char *what, const Run &run, const Run &floor)
{
    std::printf("%-30s %7.3f %7.1f %9.3f %9.3f %7.1fx %7.1f %7.1f\n", what, run.mbPerSecond(),
                run.cpu / run.wall * 100.0, run.cpuPerMB(), floor.cpuPerMB(),
                run.cpuPerMB() / floor.cpuPerMB(), run.p99, run.rss);
}

// Appends `lines` lines of a typical short chunk straight to a log, and returns the cost per
// thousand lines measured over the last `window` of them.
double appendCost(CommLog &log, qint64 lines, qint64 window)
{
    const QString line =
            logLine(Traffic::Received, QStringLiteral("0102abff"));
    double cpuAtWindow = 0;
    for (qint64 i = 0; i < lines; ++i) {
        if (i == lines - window)
            cpuAtWindow = Usage::threadCpuSeconds();
        log.append(line);
        // One flush per interval's worth of lines at 38400 baud in 4-byte chunks.
        if (i % 20 == 19) {
            log.flush();
            QCoreApplication::processEvents();
        }
    }
    log.flush();
    QCoreApplication::processEvents();
    return (Usage::threadCpuSeconds() - cpuAtWindow) / double(window) * 1000.0 * 1000.0;
}

// Opening and closing with a little traffic each time: what stays behind.
void openCloseCycles()
{
    TerminalRig rig;
    int stuck = 0;
    auto session = [&rig, &stuck](int n) {
        rig.toggle();
        rig.device.write(QByteArray(8, char(n)));
        rig.send(QStringLiteral("0102"));
        stuck += !QTest::qWaitFor([&rig] { return rig.device.readAll().size() == 2; });
        rig.toggle();
    };
    for (int n = 0; n < 20; ++n)
        session(n);
    const int descriptors = Usage::openDescriptors();
    const int locks = Usage::portLocksHeld();
    const double megabytes = Usage::residentMegabytes();
    constexpr int Cycles = 1000;
    for (int n = 0; n < Cycles; ++n)
        session(n);
    std::printf("%d open/close cycles with traffic: descriptors %d -> %d, lock files %d -> %d, "
                "resident %.1f -> %.1f MB, %d warnings, %d sessions stuck\n",
                Cycles, descriptors, Usage::openDescriptors(), locks,
                Usage::portLocksHeld(), megabytes, Usage::residentMegabytes(),
                int(rig.boxes.size()), stuck);
}

// The line hangs up while the device side stays. The ioctl acts on the slave side, which the
// port holds; a second descriptor will do.
void hangUp(const PseudoTerminal &device)
{
    const int slave = ::open(device.portName().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (slave < 0 || ::ioctl(slave, TIOCVHANGUP) != 0)
        std::printf("could not hang up %s\n", qPrintable(device.portName()));
    ::close(slave);
}

// Devices going away, half by closing their side, half by hanging up: the CPU the program
// uses in the quiet after each loss.
void unplugCycles()
{
    constexpr int Cycles = 100;
    int warnings = 0;
    double quietCpu = 0;
    for (int n = 0; n < Cycles; ++n) {
        TerminalRig rig;
        rig.toggle();
        if (n % 2)
            rig.device.unplug();
        else
            hangUp(rig.device);
        if (!QTest::qWaitFor([&] { return !rig.boxes.isEmpty(); }))
            std::printf("unplug %d: no warning\n", n);
        const double before = Usage::threadCpuSeconds();
        QTest::qWait(20);
        quietCpu += Usage::threadCpuSeconds() - before;
        warnings += rig.boxes.size();
    }
    std::printf("%d unplugs: %d warnings; %.3f CPU s in the %.1f s after them\n", Cycles,
                warnings, quietCpu, Cycles * 0.02);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const bool quick = app.arguments().contains("--quick");
    const qint64 flood = qint64((quick ? 10 : 100) * MB);
    const double pacedSeconds = quick ? 3 : 10;

    std::printf("Wirelet receive path: pseudo-terminal to log view (QT_QPA_PLATFORM=%s)\n",
                qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("floor: the same bytes read, hex-encoded and formatted as lines, no view\n\n");
    printHeader();

    // Gone before the cycles below, which answer their own warnings.
    auto measured = std::make_unique<TerminalRig>();
    TerminalRig &rig = *measured;
    rig.toggle();
    const double rssAtStart = Usage::residentMegabytes();

    // A flood in 4 KB writes, the most a pseudo-terminal hands over at once.
    const qint64 tenth = flood / 10;
    const Run floodFloor = floorRun(4096, 0, tenth);
    printRow("flood, first tenth", feed(rig.device, 4096, 0, tenth), floodFloor);
    printRow("flood, middle", feed(rig.device, 4096, 0, flood - 2 * tenth), floodFloor);
    printRow("flood, last tenth", feed(rig.device, 4096, 0, tenth), floodFloor);

    // Ten bits a byte on the line: start, eight data bits, stop.
    struct Paced
    {
        const char *name;
        int chunk;
        double bytesPerSecond;
    };
    for (const Paced &paced : {Paced {"38400 baud, 4-byte chunks", 4, 3840},
                               Paced {"115200 baud, 16-byte chunks", 16, 11520}}) {
        const qint64 total = qint64(paced.bytesPerSecond * pacedSeconds);
        const Run floor = floorRun(paced.chunk, paced.bytesPerSecond, total);
        printRow(paced.name, feed(rig.device, paced.chunk, paced.bytesPerSecond, total), floor);
    }

    // An hour at 38400 baud in 4-byte chunks is 3.46 million lines.
    CommLog &log = *new CommLog(rig.comLog); // the view's, like the window's own
    const qint64 hourOfLines = quick ? 346000 : 3456000;
    const double earlyCost = appendCost(log, 60000, 50000);
    const double lateCost = appendCost(log, hourOfLines, 50000);
    const double rssAfterHour = Usage::residentMegabytes();

    // One 64 KB chunk arriving at once, shown and painted.
    const QString bigLine = logLine(Traffic::Received,
                                    QString::fromLatin1(QByteArray(64 * 1024, '\x5a').toHex()));
    QElapsedTimer big;
    big.start();
    log.append(bigLine);
    log.flush();
    rig.comLog->viewport()->repaint();
    const qint64 bigMs = big.elapsed();

    // A megabyte pasted as hex, with spaces and as one run, then sent whole (the click returns
    // once it is queued; it is logged once the device has taken its last byte), or refused
    // for one stray character at its very end.
    const QByteArray megabyteBytes(1024 * 1024, '\x5a');
    const QString megabyte = QString::fromLatin1(megabyteBytes.toHex(' '));
    QElapsedTimer sendTimer;
    sendTimer.start();
    rig.message->setPlainText(QString::fromLatin1(megabyteBytes.toHex()));
    QCoreApplication::processEvents();
    const qint64 pasteRunMs = sendTimer.elapsed();
    sendTimer.restart();
    rig.message->setPlainText(megabyte);
    QCoreApplication::processEvents();
    const qint64 pasteMs = sendTimer.elapsed();
    const int linesBefore = rig.comLog->document()->blockCount();
    sendTimer.restart();
    QTest::mouseClick(rig.btnSend, Qt::LeftButton);
    while (rig.comLog->document()->blockCount() == linesBefore) {
        rig.device.readAll();
        QTest::qWait(1);
    }
    const qint64 validMs = sendTimer.elapsed();
    rig.message->setPlainText(megabyte + QLatin1Char('g'));
    qint64 refusedMs = 0;
    {
        ModalCatcher catcher;
        sendTimer.restart();
        QTest::mouseClick(rig.btnSend, Qt::LeftButton);
        refusedMs = sendTimer.elapsed();
    }

    std::printf("\nlog bound: %d lines, %d characters; lines shown now: %d\n", CommLog::MaxLines,
                CommLog::MaxCharacters, rig.comLog->document()->blockCount() - 1);
    std::printf("append cost, ms per 1000 lines: %.2f at the start, %.2f after %lld lines\n",
                earlyCost, lateCost, hourOfLines);
    std::printf("a 64 KB chunk logged and painted in %lld ms\n", bigMs);
    std::printf("a 1 MB hex message: pasted in %lld ms as one run, %lld ms with spaces; "
                "sent and logged in %lld ms, or refused in %lld ms\n",
                pasteRunMs, pasteMs, validMs, refusedMs);
    std::printf("resident memory: %.1f MB with the port open, %.1f MB after the flood and the "
                "hour of lines, %.1f MB with the 1 MB message in the message box and the log\n",
                rssAtStart, rssAfterHour, Usage::residentMegabytes());

    measured.reset();
    openCloseCycles();
    unplugCycles();
    return 0;
}
