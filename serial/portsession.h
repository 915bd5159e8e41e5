#ifndef PORTSESSION_H
#define PORTSESSION_H

#include "serial/transmitterwait.h"

#include <QList>
#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include <optional>

// One opening of a serial port, knowing no window: the messages handed over and not yet out,
// the rule that they are reported before the bytes read after them, the drain on close with its
// time limit, and the read nudge Wine needs. It borrows the port it is given.
class PortSession : public QObject
{
    Q_OBJECT

public:
    enum class State { Closed, Open, Draining };
    Q_ENUM(State)

    explicit PortSession(QSerialPort *port, QObject *parent = nullptr);

    State state() const { return m_state; }
    // Opens the port read-write with the settings it holds.
    bool open();
    // Hands a message's bytes to the port; sent() reports the text once the last byte is out.
    // False when the session is not open, or when the port took nothing: then its device is
    // gone, and deviceLost() has followed.
    bool send(const QString &text, const QByteArray &bytes);
    // What the device has sent since the last call, after sent() has reported every message
    // that went out before it; none while draining, when it belongs to no session.
    std::optional<QByteArray> takeReceived();
    // Lets what is on its way go out first, within a time limit; closed() follows.
    void close();

    // How long the running drain may still take, in milliseconds; -1 when none runs.
    int drainTimeLeft() const;
    // Whether Qt is made to look for incoming bytes on a timer, as under Wine.
    bool isNudgingReads() const { return m_readNudge.isActive(); }

signals:
    void sent(const QString &text);
    // The port is shut; `dropped`: what had not gone out when the time was up was dropped.
    void closed(bool dropped);
    // The device went away while the port was open, or draining; the port is shut.
    void deviceLost();

private:
    // A message handed to the port, reported once its last byte has left Qt's buffer.
    struct Outgoing
    {
        QString text;
        qint64 size;
    };

    void reportSent();
    void drainOrWait();
    void shut();
    void onError(QSerialPort::SerialPortError error);

    QSerialPort *m_port;
    State m_state = State::Closed;
    QList<Outgoing> m_outgoing;
    qint64 m_outgoingBytes = 0;
    QTimer m_drainPoll;
    QTimer m_drainDeadline;
    TransmitterWait m_transmitterWait;
    QTimer m_readNudge;
};

#endif // PORTSESSION_H
