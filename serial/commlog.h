#ifndef COMMLOG_H
#define COMMLOG_H

#include <QObject>
#include <QStringList>
#include <QTimer>

class QTextBrowser;

// Feeds log lines to the log view. Lines go in at the end, in order, a short interval's worth
// at a time, and only the newest ones are kept, so neither a selection the user is reading
// nor a flood of traffic can scramble, freeze or exhaust the view.
class CommLog : public QObject
{
public:
    // Far below the height at which the view's layout breaks down, for any mix of line lengths.
    static constexpr int MaxLines = 20000;
    static constexpr int MaxCharacters = 2000000;
    static constexpr int FlushIntervalMs = 20;

    explicit CommLog(QTextBrowser *view);

    // Queues one line (ending in '\n'); it reaches the view within FlushIntervalMs.
    void append(const QString &line);
    // Moves every queued line into the view now.
    void flush();

private:
    void trimView(bool following);

    QTextBrowser *m_view;
    QStringList m_pending;
    int m_pendingCharacters = 0;
    QTimer m_flushTimer;
};

#endif // COMMLOG_H
