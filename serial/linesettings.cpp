#include "serial/linesettings.h"

#include <QSerialPort>
#include <QString>

void applyLineSettings(QSerialPort *port, const QString &baudRate, const QString &dataBits,
                       const QString &stopBits, const QString &parity)
{
    port->setBaudRate(baudRate.toInt(), QSerialPort::AllDirections);

    const int bits = dataBits.toInt();
    if (bits >= QSerialPort::Data5 && bits <= QSerialPort::Data8)
        port->setDataBits(QSerialPort::DataBits(bits));

    if (stopBits == QLatin1String("1"))
        port->setStopBits(QSerialPort::OneStop);
    else if (stopBits == QLatin1String("2"))
        port->setStopBits(QSerialPort::TwoStop);

    if (parity == QLatin1String("NoParity"))
        port->setParity(QSerialPort::NoParity);
    else if (parity == QLatin1String("EvenParity"))
        port->setParity(QSerialPort::EvenParity);
    else if (parity == QLatin1String("OddParity"))
        port->setParity(QSerialPort::OddParity);
}
