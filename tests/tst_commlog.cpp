#include "commlog.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QtTest>

// The log view under load: batching, the bound, and what the user is reading.
class TestCommLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void batchesLoseAndReorderNothing();
    void boundKeepsTheNewestLines_data();
    void boundKeepsTheNewestLines();
    void overlongLineIsKeptWhole();
    void trimmingKeepsSelectionAndReadingPlace();
    void followsTheBottomThroughTrimming();

private:
    QStringList shownLines() const;
    // Checks the view holds lines first..last of those appended, in order, none missing.
    void verifySuffix(int last);

    QTextBrowser *view = nullptr;
    CommLog *log = nullptr;
};

namespace {

QString numbered(int n, int width = 0)
{
    QString line = QString::number(n);
    if (width > line.size())
        line += QString(width - line.size(), QLatin1Char('a'));
    return line + QLatin1Char('\n');
}

} // namespace

void TestCommLog::init()
{
    view = new QTextBrowser;
    view->resize(341, 321);
    view->show();
    log = new CommLog(view);
}

void TestCommLog::cleanup()
{
    delete view;
}

QStringList TestCommLog::shownLines() const
{
    QStringList lines = view->toPlainText().split(QLatin1Char('\n'));
    lines.removeLast(); // after the final line break
    return lines;
}

void TestCommLog::verifySuffix(int last)
{
    const QStringList lines = shownLines();
    QVERIFY(!lines.isEmpty());
    const int first = last - lines.size() + 1;
    for (int i = 0; i < lines.size(); ++i) {
        const int n = lines.at(i).section(QLatin1Char('a'), 0, 0).toInt();
        QVERIFY2(n == first + i, qPrintable(QString("line %1 holds %2").arg(i).arg(n)));
    }
}

void TestCommLog::batchesLoseAndReorderNothing()
{
    // Short lines wait for the timer, long ones push a batch out early; mix both, with event
    // loop turns in between, and every line must arrive once, in order.
    QString appended;
    int n = 0;
    for (int round = 0; round < 30; ++round) {
        for (int i = 0; i < 40; ++i, ++n) {
            const QString line = numbered(n, i % 7 == 0 ? 5000 : 12);
            appended += line;
            log->append(line);
        }
        if (round % 3 == 0)
            QTest::qWait(1);
    }
    QTRY_COMPARE(view->toPlainText(), appended);
}

void TestCommLog::boundKeepsTheNewestLines_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("count");

    QTest::newRow("short lines") << 20 << CommLog::MaxLines * 2 + 123;
    QTest::newRow("4 KB chunks") << 8200 << 400;
    QTest::newRow("64 KB chunks") << 131100 << 30;
}

void TestCommLog::boundKeepsTheNewestLines()
{
    QFETCH(int, width);
    QFETCH(int, count);

    for (int n = 0; n < count; ++n) {
        log->append(numbered(n, width));
        if (n % 50 == 0)
            QCoreApplication::processEvents();
    }
    log->flush();
    const QStringList lines = shownLines();
    QVERIFY(lines.size() <= CommLog::MaxLines);
    QVERIFY(view->document()->characterCount() <= CommLog::MaxCharacters);
    // Whole lines only: the oldest went, the newest are all there.
    verifySuffix(count - 1);
    // ...and no more went than the bound asks for.
    QVERIFY(lines.size() >= CommLog::MaxLines * 9 / 10
            || view->document()->characterCount() + width >= CommLog::MaxCharacters * 9 / 10);
}

void TestCommLog::overlongLineIsKeptWhole()
{
    log->append(numbered(1, 10));
    log->append(numbered(2, CommLog::MaxCharacters + 1000));
    log->flush();
    QCOMPARE(shownLines().size(), 1);
    QCOMPARE(shownLines().first().size(), CommLog::MaxCharacters + 1000);

    log->append(numbered(3, 10));
    log->flush();
    QCOMPARE(shownLines().size(), 1);
    verifySuffix(3);
}

void TestCommLog::trimmingKeepsSelectionAndReadingPlace()
{
    int n = 0;
    for (; n < CommLog::MaxLines; ++n)
        log->append(numbered(n, 20));
    log->flush();
    QCoreApplication::processEvents();

    // The user scrolls up to a line well inside what will stay and selects it.
    const QTextBlock line = view->document()->findBlockByNumber(CommLog::MaxLines - 200);
    QTextCursor selection(line);
    selection.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    view->setTextCursor(selection);
    QScrollBar *bar = view->verticalScrollBar();
    bar->setValue(int(view->document()->documentLayout()->blockBoundingRect(line).top()));
    QVERIFY(bar->value() < bar->maximum());
    const QString selected = selection.selectedText();
    const QString topLine = view->cursorForPosition(QPoint(0, 0)).block().text();

    for (int i = 0; i < 100; ++i, ++n)
        log->append(numbered(n, 20));
    log->flush();
    QCoreApplication::processEvents();

    QVERIFY(shownLines().size() < CommLog::MaxLines); // the oldest went
    verifySuffix(n - 1);
    QCOMPARE(view->textCursor().selectedText(), selected);
    QCOMPARE(view->cursorForPosition(QPoint(0, 0)).block().text(), topLine);
    QVERIFY(bar->value() < bar->maximum());
}

void TestCommLog::followsTheBottomThroughTrimming()
{
    QScrollBar *bar = view->verticalScrollBar();
    int n = 0;
    for (int batch = 0; batch < 25; ++batch) {
        for (int i = 0; i < 500; ++i, ++n)
            log->append(numbered(n, 20));
        log->flush();
        QCoreApplication::processEvents();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
    }
    verifySuffix(n - 1);
    // The newest line is on screen.
    const QTextCursor newest(view->document()->lastBlock().previous());
    QVERIFY(newest.block().text().startsWith(QString::number(n - 1)));
    QVERIFY(view->viewport()->rect().contains(view->cursorRect(newest).center()));
}

QTEST_MAIN(TestCommLog)
#include "tst_commlog.moc"
