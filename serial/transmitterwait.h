#ifndef TRANSMITTERWAIT_H
#define TRANSMITTERWAIT_H

#include <QObject>
#include <QSerialPort>

#include <atomic>
#include <thread>

// Waits, off the GUI thread, until the driver says a line's transmitter is empty: once the
// driver's queue is empty, a UART's FIFO or a USB adapter's chip still holds bytes for the line.
// Only Unix has such a wait (tcdrain()); elsewhere finished() follows at once.
class TransmitterWait : public QObject
{
    Q_OBJECT

public:
    explicit TransmitterWait(QObject *parent = nullptr);
    ~TransmitterWait() override;

    // finished() follows, on this object's thread, once the wait has returned.
    void start(const QSerialPort &port);
    // Ends a wait still running, and returns once it has: a flush wakes the serial core's wait,
    // but not the USB serial drivers', so the waiting thread is woken by a signal too. Nothing
    // is flushed here; finished() does not follow.
    void stop();
    bool isRunning() const { return m_running; }

signals:
    void finished();

private:
    void waitReturned();

    bool m_running = false;
    std::thread m_thread;
    std::atomic<bool> m_stopping {false};
    std::atomic<bool> m_returned {false};
};

#endif // TRANSMITTERWAIT_H
