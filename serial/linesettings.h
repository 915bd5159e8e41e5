#ifndef LINESETTINGS_H
#define LINESETTINGS_H

class QSerialPort;
class QString;

// Gives the port the line settings chosen by their texts ("9600", "8", "1", "NoParity"); a text
// that names no setting leaves that one as it is.
void applyLineSettings(QSerialPort *port, const QString &baudRate, const QString &dataBits,
                       const QString &stopBits, const QString &parity);

#endif // LINESETTINGS_H
