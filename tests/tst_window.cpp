#include "placement.h"
#include "windowhelpers.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

namespace {

QWidget *visibleAboutDialog()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "AboutDialog" && widget->isVisible())
            return widget;
    }
    return nullptr;
}

} // namespace

// Where the main window opens, its locked size, and the about dialog it shows.
class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void placement_data();
    void placement();
    void opensCentredOnTheScreen();
    void sizeSpringsBackWhileMovesStay();
    void aboutDialogIsAWindowOfItsOwn();
    void aboutDialogShowsItsPicturesAndLines();
};

void TestWindow::placement_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("expected");

    QTest::newRow("1920x1080, bar at the bottom")
            << QRect(0, 0, 1920, 1040) << QRect(622, 262, 676, 515);
    // The area's origin counts: the window must not land under a bar at the top or left.
    QTest::newRow("bar at the top") << QRect(0, 40, 1920, 1040) << QRect(622, 302, 676, 515);
    QTest::newRow("bar on the left") << QRect(60, 0, 1860, 1080) << QRect(652, 282, 676, 515);
    QTest::newRow("bar on the right") << QRect(0, 0, 1860, 1080) << QRect(592, 282, 676, 515);
    QTest::newRow("primary screen right of another")
            << QRect(1920, 0, 1280, 984) << QRect(2222, 234, 676, 515);
    QTest::newRow("narrow") << QRect(0, 0, 600, 1040) << QRect(0, 262, 600, 515);
    QTest::newRow("exactly as wide") << QRect(0, 0, 676, 1040) << QRect(0, 262, 676, 515);
    QTest::newRow("low") << QRect(0, 0, 1920, 480) << QRect(622, 30, 676, 480);
    QTest::newRow("low with a bar at the top") << QRect(0, 32, 1024, 448) << QRect(174, 62, 676, 448);
    QTest::newRow("narrow and low") << QRect(10, 20, 640, 480) << QRect(10, 50, 640, 480);
}

void TestWindow::placement()
{
    QFETCH(QRect, available);
    QFETCH(QRect, expected);
    QCOMPARE(initialGeometry(available, QRect(0, 0, 676, 515), 30), expected);
}

void TestWindow::opensCentredOnTheScreen()
{
    auto window = newWindow();
    QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QRect centred(QPoint(), QSize(676, 515));
    centred.moveCenter(window->screen()->availableGeometry().center());
    QVERIFY2((window->geometry().topLeft() - centred.topLeft()).manhattanLength() <= 1,
             qPrintable(QString("at %1,%2").arg(window->x()).arg(window->y())));
    QCOMPARE(window->size(), centred.size());
}

void TestWindow::sizeSpringsBackWhileMovesStay()
{
    auto window = newWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    window->resize(800, 300);
    QTRY_COMPARE(window->size(), QSize(676, 515));

    // Dragging the top-left edge: the corner moves, the size does not.
    window->setGeometry(20, 30, 700, 700);
    QTRY_COMPARE(window->geometry(), QRect(20, 30, 676, 515));

    window->move(100, 80);
    QTRY_COMPARE(window->pos(), QPoint(100, 80));
    QCOMPARE(window->size(), QSize(676, 515));
}

void TestWindow::aboutDialogIsAWindowOfItsOwn()
{
    auto window = newWindow();
    window->show();
    auto *about = window->findChild<QPushButton *>("pushButton");
    QVERIFY(about);
    QVERIFY(!visibleAboutDialog());

    QTest::mouseClick(about, Qt::LeftButton);
    QWidget *dialog = visibleAboutDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QString("关于"));
    QVERIFY(dialog->isWindow());
    QVERIFY(!dialog->parentWidget());
    QVERIFY(!dialog->isModal());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);

    // A second click changes nothing.
    const QRect shownAt = dialog->geometry();
    QTest::mouseClick(about, Qt::LeftButton);
    QCOMPARE(visibleAboutDialog(), dialog);
    QCOMPARE(dialog->geometry(), shownAt);

    // Closing the main window leaves the event loop running until the dialog goes too.
    bool runningAfterMainClosed = false;
    QTimer::singleShot(0, window.get(), [&] {
        window->close();
        QTimer::singleShot(50, dialog, [&] {
            runningAfterMainClosed = true;
            dialog->close();
        });
    });
    QTimer stuck;
    stuck.setSingleShot(true);
    connect(&stuck, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    stuck.start(5000);
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(runningAfterMainClosed);
}

void TestWindow::aboutDialogShowsItsPicturesAndLines()
{
    auto window = newWindow();
    auto *about = window->findChild<QPushButton *>("pushButton");
    QVERIFY(about);
    about->click();
    QWidget *dialog = visibleAboutDialog();
    QVERIFY(dialog);
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QCOMPARE(dialog->size(), QSize(341, 367));

    // Both pictures come from the bundle through the style sheets; a missing picture
    // or image plug-in leaves its label a single flat colour.
    for (const char *name : {"label_2", "label_4"}) {
        auto *label = dialog->findChild<QLabel *>(name);
        QVERIFY(label);
        QVERIFY(label->text().isEmpty());
        const QImage drawn = label->grab().toImage();
        const QRgb corner = drawn.pixel(0, 0);
        bool varied = false;
        for (int y = 0; y < drawn.height() && !varied; y += 3) {
            for (int x = 0; x < drawn.width() && !varied; x += 3)
                varied = drawn.pixel(x, y) != corner;
        }
        QVERIFY2(varied, name);
    }

    // The caption and the maker's lines fit their rows without wrapping or clipping.
    auto *caption = dialog->findChild<QLabel *>("label");
    QVERIFY(caption);
    QCOMPARE(caption->text(), QString("捐赠"));
    for (const char *name : {"label", "label_3", "label_5", "label_6"}) {
        auto *label = dialog->findChild<QLabel *>(name);
        QVERIFY(label);
        QVERIFY(!label->text().isEmpty());
        QVERIFY(!label->wordWrap());
        QVERIFY2(label->sizeHint().width() <= label->width(),
                 qPrintable(QString("%1: needs %2, has %3")
                                    .arg(name)
                                    .arg(label->sizeHint().width())
                                    .arg(label->width())));
    }
    dialog->close();
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
