#include "app/commlog.h"

#include <QAbstractTextDocumentLayout>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

CommLog::CommLog(QTextBrowser *view)
    : QObject(view)
    , m_view(view)
{
    // An undo history of a log nobody edits would only grow.
    m_view->document()->setUndoRedoEnabled(false);
    // A chunk's hex is one long word. Breaking it anywhere keeps its layout linear in its
    // length, and the log holds only ASCII, which needs no shaping: together they make a
    // line of received data several times cheaper to lay out.
    m_view->setWordWrapMode(QTextOption::WrapAnywhere);
    QFont font = m_view->font();
    font.setStyleStrategy(QFont::PreferNoShaping);
    m_view->setFont(font);
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(FlushIntervalMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &CommLog::flush);

    // Following the newest lines is the user's choice, made by scrolling: to the bottom starts
    // it, anywhere else ends it. The range changes too: it grows after a flush (the scroll bar
    // appears and the text wraps anew), which must neither end following nor leave the view
    // short of the bottom; it shrinks as old lines go, and the clamp Qt then makes is no scroll
    // of the user's either.
    QScrollBar *bar = m_view->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
        if (!m_scrolling)
            m_following = value >= bar->maximum();
    });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        scrollTo(m_following ? maximum : qMin(bar->value(), maximum));
    });
}

void CommLog::append(const QString &line)
{
    m_pending.append(line);
    m_pendingCharacters += line.size();
    if (m_pendingCharacters >= FlushCharacters)
        flush();
    else if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void CommLog::flush()
{
    m_flushTimer.stop();
    if (m_pending.isEmpty())
        return;
    const QString text = m_pending.join(QString());
    m_pending.clear();
    m_pendingCharacters = 0;

    // A cursor of our own at the end: the user's cursor and selection stay where they are.
    QTextCursor end(m_view->document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
    trimView();

    if (m_following)
        scrollTo(m_view->verticalScrollBar()->maximum());
}

void CommLog::scrollTo(int value)
{
    const QScopedValueRollback<bool> ours(m_scrolling, true);
    m_view->verticalScrollBar()->setValue(value);
}

void CommLog::trimView()
{
    QTextDocument *document = m_view->document();
    // The block after the last line break is empty and is not a line.
    int lines = document->blockCount() - 1;
    int characters = document->characterCount();
    if (lines <= MaxLines && characters <= MaxCharacters)
        return;
    QTextBlock keep = document->begin();
    while (lines > 1 && (lines > MaxLines * 9 / 10 || characters > MaxCharacters * 9 / 10)) {
        characters -= keep.length();
        --lines;
        keep = keep.next();
    }

    QAbstractTextDocumentLayout *layout = document->documentLayout();
    const qreal removedHeight =
            layout->blockBoundingRect(keep).top() - layout->blockBoundingRect(document->begin()).top();
    const int value = m_view->verticalScrollBar()->value();

    QTextCursor cut(document);
    cut.setPosition(keep.position(), QTextCursor::KeepAnchor);
    cut.removeSelectedText();

    // Someone reading further up keeps seeing the same lines while older ones go.
    if (!m_following)
        scrollTo(value - qRound(removedHeight));
}
