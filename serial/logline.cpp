#include "serial/logline.h"

#include <QDateTime>

QString logLine(Traffic traffic, const QString &payload)
{
    const QString time =
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (traffic == Traffic::Received)
        return time + QLatin1String(" [recieve] ") + payload + QLatin1Char('\n');
    // One event, one line: the line breaks of a typed message show as spaces.
    QString typed = payload;
    typed.replace(QLatin1String("\r\n"), QLatin1String(" "));
    typed.replace(QLatin1Char('\r'), QLatin1Char(' '));
    typed.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return time + QLatin1String(" [send] ") + typed + QLatin1Char('\n');
}
