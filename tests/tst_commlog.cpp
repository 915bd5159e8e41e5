#include "commlog.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QtTest>

// The log's bound under load, and what the user is reading while the oldest lines go.
class TestCommLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { delete view; }
    void boundKeepsTheNewestWholeLines_data();
    void boundKeepsTheNewestWholeLines();
    void trimmingKeepsTheReadersPlace();

private:
    // Line n, padded with 'a' to `width` characters.
    void append(int n, int width);
    // Whether the view holds lines first..last, in order, none missing.
    bool holds(int first, int last) const;

    QTextBrowser *view = nullptr;
    CommLog *log = nullptr;
};

void TestCommLog::init()
{
    view = new QTextBrowser;
    view->resize(341, 321);
    view->show();
    log = new CommLog(view);
}

void TestCommLog::append(int n, int width)
{
    log->append(QString::number(n).leftJustified(width, QLatin1Char('a')) + QLatin1Char('\n'));
}

bool TestCommLog::holds(int first, int last) const
{
    const QStringList lines = view->toPlainText().split(QLatin1Char('\n'));
    if (lines.size() - 1 != last - first + 1)
        return false;
    for (int i = 0; i < lines.size() - 1; ++i) {
        if (lines.at(i).section(QLatin1Char('a'), 0, 0).toInt() != first + i)
            return false;
    }
    return true;
}

void TestCommLog::boundKeepsTheNewestWholeLines_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("fewest"); // no more go than the bound asks

    QTest::newRow("short lines") << 20 << CommLog::MaxLines * 2 + 123 << CommLog::MaxLines * 9 / 10;
    QTest::newRow("64 KB chunks") << 131100 << 30 << 6;
    // A line longer than the bound stays whole, alone.
    QTest::newRow("overlong line") << CommLog::MaxCharacters + 10 << 2 << 1;
}

void TestCommLog::boundKeepsTheNewestWholeLines()
{
    QFETCH(int, width);
    QFETCH(int, count);
    QFETCH(int, fewest);
    for (int n = 0; n < count; ++n) {
        append(n, width);
        if (n % 50 == 0)
            QCoreApplication::processEvents();
    }
    log->flush();
    const int kept = view->document()->blockCount() - 1;
    QVERIFY(holds(count - kept, count - 1));
    QVERIFY(kept >= fewest && kept <= CommLog::MaxLines);
    QVERIFY(kept == 1 || view->document()->characterCount() <= CommLog::MaxCharacters);
}

void TestCommLog::trimmingKeepsTheReadersPlace()
{
    int n = 0;
    for (; n < CommLog::MaxLines; ++n)
        append(n, 20);
    log->flush();
    QCoreApplication::processEvents();

    // Scrolled up to a line that stays, with it selected.
    const QTextBlock line = view->document()->findBlockByNumber(CommLog::MaxLines - 200);
    QTextCursor selection(line);
    selection.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    view->setTextCursor(selection);
    QScrollBar *bar = view->verticalScrollBar();
    bar->setValue(int(view->document()->documentLayout()->blockBoundingRect(line).top()));
    const QString topLine = view->cursorForPosition(QPoint(0, 0)).block().text();

    for (int i = 0; i < 100; ++i, ++n)
        append(n, 20);
    log->flush();
    QCoreApplication::processEvents();
    QVERIFY(holds(n - CommLog::MaxLines * 9 / 10, n - 1));
    QCOMPARE(view->textCursor().selectedText(), line.text());
    QCOMPARE(view->cursorForPosition(QPoint(0, 0)).block().text(), topLine);

    // At the bottom, the newest line stays in view while the oldest go.
    bar->setValue(bar->maximum());
    for (int i = 0; i < CommLog::MaxLines; ++i, ++n)
        append(n, 20);
    log->flush();
    QCoreApplication::processEvents();
    QCOMPARE(bar->value(), bar->maximum());
}

QTEST_MAIN(TestCommLog)
#include "tst_commlog.moc"
