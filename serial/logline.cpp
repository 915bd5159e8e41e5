#include "logline.h"

#include <QDateTime>

namespace {

// Converting to local time reads the time-zone file on every call, and the text changes only
// once a second; a busy port logs hundreds of lines in that second.
QString timestampNow()
{
    static qint64 shownSecond = -1;
    static QString shown;
    const qint64 second = QDateTime::currentMSecsSinceEpoch() / 1000;
    if (second != shownSecond) {
        shownSecond = second;
        shown = QDateTime::fromSecsSinceEpoch(second).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    }
    return shown;
}

} // namespace

QString logLine(Traffic traffic, const QString &payload)
{
    // The misspelling is the one users and their scripts already know.
    const QLatin1String tag(traffic == Traffic::Sent ? " [send] " : " [recieve] ");
    return timestampNow() + tag + payload + QLatin1Char('\n');
}
