#include "serial/portsession.h"

#include "serial/outputqueue.h"
#include "serial/wine.h"

namespace {

// How long `bytes` take on the line (a start bit, the data bits, parity and the stop bits for
// each), and a second more for the device; never more than three in all.
int drainTimeMs(const QSerialPort &port, qint64 bytes)
{
    const int bitsPerByte = 1 + port.dataBits() + (port.parity() == QSerialPort::NoParity ? 0 : 1)
            + (port.stopBits() == QSerialPort::TwoStop ? 2 : 1);
    const qint64 lineMs = bytes * bitsPerByte * 1000 / qMax(1, port.baudRate());
    return int(qMin<qint64>(lineMs + 1000, 3000));
}

// What has yet to go out on the line: what Qt holds, and what the system holds beyond it.
qint64 unsentBytes(const QSerialPort &port)
{
    return port.bytesToWrite() + systemOutputQueue(port);
}

} // namespace

PortSession::PortSession(QSerialPort *port, QObject *parent)
    : QObject(parent)
    , m_port(port)
{
    connect(m_port, &QSerialPort::bytesWritten, this, &PortSession::reportSent);
    connect(m_port, &QSerialPort::errorOccurred, this, &PortSession::onError);
    m_drainPoll.setInterval(10);
    connect(&m_drainPoll, &QTimer::timeout, this, &PortSession::drainOrWait);
    m_drainDeadline.setSingleShot(true);
    m_drainDeadline.setTimerType(Qt::PreciseTimer);
    connect(&m_drainDeadline, &QTimer::timeout, this, [this] {
        // Closing restores the speed the port had before: nothing may go out at that speed.
        discardSystemOutput(*m_port);
        shut();
        emit closed(true);
    });
    connect(&m_transmitterWait, &TransmitterWait::finished, this, [this] {
        shut();
        emit closed(false);
    });
    // Wine 8 never runs the completion routine with which Qt on Windows waits for incoming
    // bytes, so Qt never starts a read by itself. peek() makes it read, and takes nothing.
    // Real Windows needs no nudge and gets none.
    m_readNudge.setInterval(20);
    connect(&m_readNudge, &QTimer::timeout, this, [this] {
        char next;
        m_port->peek(&next, 1);
    });
}

bool PortSession::open()
{
    if (m_state != State::Closed || !m_port->open(QIODevice::ReadWrite))
        return false;
    // Bytes the device sent while the port was closed belong to no session; drop them.
    m_port->clear(QSerialPort::Input);
    m_state = State::Open;
    if (runningUnderWine())
        m_readNudge.start();
    return true;
}

bool PortSession::send(const QString &text, const QByteArray &bytes)
{
    if (m_state != State::Open)
        return false;
    // write() only queues the bytes, and refuses them only when the port is gone.
    if (m_port->write(bytes) != bytes.size()) {
        onError(QSerialPort::WriteError);
        return false;
    }
    m_outgoing.append({text, bytes.size()});
    m_outgoingBytes += bytes.size();
    reportSent();
    return true;
}

void PortSession::reportSent()
{
    // Whatever has left Qt's buffer has reached the system. Qt says so only on a later pass of
    // its event loop, after a reply may have been read, so its count is not waited for.
    qint64 gone = m_outgoingBytes - m_port->bytesToWrite();
    while (!m_outgoing.isEmpty() && m_outgoing.first().size <= gone) {
        gone -= m_outgoing.first().size;
        m_outgoingBytes -= m_outgoing.first().size;
        emit sent(m_outgoing.takeFirst().text);
    }
}

std::optional<QByteArray> PortSession::takeReceived()
{
    const QByteArray bytes = m_port->readAll();
    reportSent(); // a reply never stands above the request it answers
    if (m_state != State::Open)
        return std::nullopt;
    return bytes;
}

void PortSession::close()
{
    if (m_state != State::Open)
        return;
    // close() would drop what Qt still holds, and the system would send what it holds after
    // Qt restored the port's old speed: both reach the device first, and the transmitter
    // empties, with the event loop running meanwhile.
    m_state = State::Draining;
    m_drainDeadline.start(drainTimeMs(*m_port, unsentBytes(*m_port)));
    m_drainPoll.start();
    drainOrWait();
}

int PortSession::drainTimeLeft() const
{
    return m_state == State::Draining ? m_drainDeadline.remainingTime() : -1;
}

void PortSession::drainOrWait()
{
    if (m_transmitterWait.isRunning() || unsentBytes(*m_port) > 0)
        return;
    m_drainPoll.stop();
    m_transmitterWait.start(*m_port);
}

void PortSession::onError(QSerialPort::SerialPortError error)
{
    // Whatever else goes wrong with an open port means its device is gone: Wine names a vanished
    // device as an error it cannot place, and some Windows drivers' errors reach Qt unmapped, as
    // PermissionError or DeviceNotFoundError, when an adapter is pulled with a read pending.
    const bool lost = error != QSerialPort::NoError && error != QSerialPort::TimeoutError
            && error != QSerialPort::NotOpenError;
    if (!lost || m_state == State::Closed)
        return;
    // Shut before anything else: Qt 5 repeats the error for as long as a vanished device stays
    // open, and whatever the signal leads to (a modal box) would let that spin on under it.
    shut();
    emit deviceLost();
}

void PortSession::shut()
{
    reportSent(); // before Qt's own word on it, which the close will not wait for
    m_drainPoll.stop();
    m_drainDeadline.stop();
    m_transmitterWait.stop();
    m_readNudge.stop();
    m_port->close();
    // What did not reach the device whole was never sent.
    m_outgoing.clear();
    m_outgoingBytes = 0;
    m_state = State::Closed;
}
