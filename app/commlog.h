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
    Q_OBJECT

public:
    // Far below the height at which the view's layout breaks down, for any mix of line lengths.
    // Once either is passed the oldest lines go, a tenth at a time: every removal at the top
    // costs a pass over the whole document, so it must not happen on every line.
    static constexpr int MaxLines = 10000;
    static constexpr int MaxCharacters = 1000000;
    static constexpr int FlushIntervalMs = 40;
    // A flood does not wait for the timer: laying out more at once would keep the window
    // from answering for too long.
    static constexpr int FlushCharacters = 32768;

    explicit CommLog(QTextBrowser *view);

    // Queues one line (ending in '\n'); it reaches the view within FlushIntervalMs, or at
    // once when FlushCharacters are waiting.
    void append(const QString &line);
    // Moves every queued line into the view now.
    void flush();

private:
    void scrollTo(int value);
    void trimView();

    QTextBrowser *m_view;
    QStringList m_pending;
    int m_pendingCharacters = 0;
    bool m_following = true;
    bool m_scrolling = false; // the log moves the view itself
    QTimer m_flushTimer;
};

#endif // COMMLOG_H
