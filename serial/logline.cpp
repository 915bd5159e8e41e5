#include "logline.h"

#include <QDateTime>

QString logLine(const QDateTime &when, QLatin1String tag, const QString &payload)
{
    return when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + tag + payload + QLatin1Char('\n');
}
