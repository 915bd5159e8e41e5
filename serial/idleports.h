#ifndef IDLEPORTS_H
#define IDLEPORTS_H

#include <QStringList>

// Names of the ports no other program holds, in the order they were enumerated.
// Templated so tests can feed lists they make up; the program passes QSerialPortInfo.
template<typename PortList>
QStringList idlePortNames(const PortList &ports)
{
    QStringList names;
    for (const auto &port : ports) {
        if (!port.isBusy())
            names.append(port.portName());
    }
    return names;
}

#endif // IDLEPORTS_H
