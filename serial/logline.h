#ifndef LOGLINE_H
#define LOGLINE_H

#include <QString>

enum class Traffic { Sent, Received };

// One line of the communication log: local time now to the second, the tag of the traffic's
// direction, payload, line break.
QString logLine(Traffic traffic, const QString &payload);

#endif // LOGLINE_H
