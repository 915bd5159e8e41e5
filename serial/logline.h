#ifndef LOGLINE_H
#define LOGLINE_H

#include <QString>

enum class Traffic { Sent, Received };

// One line of the communication log: local time to the second, " [send] " or " [recieve] "
// (the spelling users and their scripts know), the payload, a line break.
QString logLine(Traffic traffic, const QString &payload);

#endif // LOGLINE_H
