#include "app/commlog.h"
#include "serial/logline.h"

#include <QtTest>
#include <QtWidgets>

// The log view fed line by line, with no window: what it keeps, and where it shows.
class TestCommLog : public QObject
{
    Q_OBJECT

private slots:
    void logKeepsSelectionAndFollowsOnlyAtTheBottom()
    {
        // Into an empty log, a burst of any size, then short lines: the view stays at the bottom,
        // also when the scroll bar first appears after a flush and the text wraps anew.
        for (int size = 2000; size <= 10000; size += 100) {
            QTextBrowser view;
            view.resize(341, 321); // the window's
            view.show();
            CommLog log(&view);
            const QByteArray burst(size, '\x5a');
            for (int at = 0; at < size; at += 4095) // what a pseudo-terminal hands over at once
                log.append(logLine(Traffic::Received, burst.mid(at, 4095).toHex()));
            QScrollBar *bar = view.verticalScrollBar();
            for (const char *more : {"", "0102"}) {
                log.append(logLine(Traffic::Received, more));
                log.flush();
                QCoreApplication::processEvents();
                QVERIFY2(bar->value() == bar->maximum(), qPrintable(QString::number(size)));
            }
            if (size < 10000)
                continue;
            // The user selects the first line and scrolls up to read: both stay as new lines come.
            QTextCursor selection(view.document()->firstBlock());
            selection.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
            view.setTextCursor(selection);
            bar->setValue(bar->maximum() / 2);
            const int reading = bar->value();
            log.append("aa\n");
            log.flush();
            QVERIFY(view.toPlainText().endsWith("aa\n") && view.textCursor().hasSelection());
            QCOMPARE(view.textCursor().selectedText(), view.document()->firstBlock().text());
            QCOMPARE(bar->value(), reading);
            bar->setValue(bar->maximum()); // back at the bottom, the view follows again
            log.append("bb\n");
            log.flush();
            QCOMPARE(bar->value(), bar->maximum());
        }
    }

    // Short lines beyond the bound, and a line longer than the bound, which stays whole, alone.
    void logBoundKeepsTheNewestWholeLines()
    {
        const QPair<int, int> widthsAndCounts[] = {qMakePair(20, CommLog::MaxLines * 2 + 123),
                                                   qMakePair(CommLog::MaxCharacters + 10, 2)};
        for (const QPair<int, int> &widthAndCount : widthsAndCounts) {
            QTextBrowser view;
            CommLog log(&view);
            const int count = widthAndCount.second;
            for (int n = 0; n < count; ++n)
                log.append(QString::number(n).leftJustified(widthAndCount.first, 'a') + '\n');
            log.flush();
            const QStringList lines = view.toPlainText().split('\n', Qt::SkipEmptyParts);
            // No more go than the bound asks: a tenth of it at a time.
            QVERIFY(lines.size() >= qMin(count - 1, CommLog::MaxLines * 9 / 10));
            QVERIFY(lines.size() <= CommLog::MaxLines);
            QVERIFY(lines.size() == 1
                    || view.document()->characterCount() <= CommLog::MaxCharacters);
            for (int i = 0; i < lines.size(); ++i) // the newest, in order, none missing
                QCOMPARE(lines.at(i).section('a', 0, 0).toInt(), count - lines.size() + i);
        }
    }
};

QTEST_MAIN(TestCommLog)
#include "tst_commlog.moc"
