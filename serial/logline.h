#ifndef LOGLINE_H
#define LOGLINE_H

#include <QString>

inline constexpr QLatin1String SendTag(" [send] ");
// The spelling is the one users and their scripts already know.
inline constexpr QLatin1String ReceiveTag(" [recieve] ");

// One line of the communication log: local time now to the second, tag, payload, line break.
QString logLine(QLatin1String tag, const QString &payload);

#endif // LOGLINE_H
