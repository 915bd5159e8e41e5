#include "mainwindow.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QtTest>

int wireletMain(int argc, char *argv[]);

// The real main(): it shows the window and ends with 0 when the window is closed.
class TestEntry : public QObject
{
    Q_OBJECT

private slots:
    void closingTheWindowExitsWithZero();
};

namespace {

bool g_windowWasShown = false;

// Runs as soon as main() has built its application object.
void closeMainWindowOnceShown()
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, qApp, [poll] {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<MainWindow *>(widget) && widget->isVisible()) {
                g_windowWasShown = true;
                poll->stop();
                widget->close();
            } else if (widget->isVisible()) {
                // The discovery warning on a machine without idle ports.
                widget->close();
            }
        }
    });
    poll->start(10);
}

} // namespace

void TestEntry::closingTheWindowExitsWithZero()
{
    qAddPreRoutine(closeMainWindowOnceShown);
    char name[] = "wirelet";
    char *argv[] = {name, nullptr};
    QCOMPARE(wireletMain(1, argv), 0);
    QVERIFY(g_windowWasShown);
}

QTEST_APPLESS_MAIN(TestEntry)
#include "tst_entry.moc"
