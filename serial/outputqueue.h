#ifndef OUTPUTQUEUE_H
#define OUTPUTQUEUE_H

#include <QtGlobal>

// The bytes a serial driver holds for the line behind an open port's native handle
// (QSerialPort::handle()), beyond Qt's own buffer; 0 when it cannot tell.
qint64 systemOutputQueue(qintptr handle);
// Drops what the driver still holds for the line.
void discardSystemOutput(qintptr handle);

#endif // OUTPUTQUEUE_H
