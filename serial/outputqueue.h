#ifndef OUTPUTQUEUE_H
#define OUTPUTQUEUE_H

#include <QSerialPort>

// The bytes the system holds for the line behind an open port, beyond Qt's own buffer: the
// serial driver's output queue. 0 when it cannot tell.
qint64 systemOutputQueue(const QSerialPort &port);
// Drops what the system still holds for the line.
void discardSystemOutput(const QSerialPort &port);

#endif // OUTPUTQUEUE_H
