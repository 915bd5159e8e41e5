#include "placement.h"
#include "terminalrig.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QtTest>

// Where the main window opens, its locked size, the about dialog, and closing the window.
class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void placement_data();
    void placement();
    void opensCentredWithItsSizeLocked();
    void aboutDialogShowsItsPictures();
    void closingTheWindowClosesThePort();
};

namespace {

QWidget *aboutDialog()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == "AboutDialog")
            return widget;
    }
    return nullptr;
}

} // namespace

void TestWindow::placement_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("expected");

    QTest::newRow("bar at the bottom") << QRect(0, 0, 1920, 1040) << QRect(622, 262, 676, 515);
    // The area's origin counts: the window must not land under a bar at the top or left.
    QTest::newRow("bar at the top") << QRect(0, 40, 1920, 1040) << QRect(622, 302, 676, 515);
    QTest::newRow("bar on the left") << QRect(60, 0, 1860, 1080) << QRect(652, 282, 676, 515);
    QTest::newRow("screen right of another") << QRect(1920, 0, 1280, 984)
                                             << QRect(2222, 234, 676, 515);
    QTest::newRow("narrow") << QRect(0, 0, 600, 1040) << QRect(0, 262, 600, 515);
    QTest::newRow("low, bar at the top") << QRect(0, 32, 1024, 448) << QRect(174, 62, 676, 448);
}

void TestWindow::placement()
{
    QFETCH(QRect, available);
    QFETCH(QRect, expected);
    QCOMPARE(initialGeometry(available, QRect(0, 0, 676, 515), 30), expected);
}

void TestWindow::opensCentredWithItsSizeLocked()
{
    TerminalRig rig;
    QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
    QVERIFY(!(rig.window->windowFlags() & Qt::WindowMaximizeButtonHint));
    QRect centred(QPoint(), QSize(676, 515));
    centred.moveCenter(rig.window->screen()->availableGeometry().center());
    QVERIFY((rig.window->geometry().topLeft() - centred.topLeft()).manhattanLength() <= 1);
    QCOMPARE(rig.window->size(), centred.size());

    // Dragging the top-left edge: the corner moves, the size springs back.
    rig.window->setGeometry(20, 30, 700, 300);
    QTRY_COMPARE(rig.window->geometry(), QRect(20, 30, 676, 515));
}

void TestWindow::aboutDialogShowsItsPictures()
{
    TerminalRig rig;
    QTest::mouseClick(rig.window->findChild<QPushButton *>("pushButton"), Qt::LeftButton);
    QWidget *dialog = aboutDialog();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QVERIFY(!dialog->isModal());

    // The pictures come from the compiled-in bundle; a missing one, or a missing image
    // plug-in, leaves its label one flat colour.
    for (const char *name : {"label_2", "label_4"}) {
        const QImage drawn = dialog->findChild<QLabel *>(name)->grab().toImage();
        int varied = 0;
        for (int y = 0; y < drawn.height(); y += 3)
            varied += drawn.pixel(y % drawn.width(), y) != drawn.pixel(0, 0);
        QVERIFY2(varied > 10, name);
    }
}

void TestWindow::closingTheWindowClosesThePort()
{
    TerminalRig rig;
    QVERIFY(rig.clickOpenCom());
    rig.window->findChild<QPushButton *>("pushButton")->click();
    rig.send(QString::fromLatin1(QByteArray(64 * 1024, '\x33').toHex()));

    // The about dialog keeps the program running, but the port goes with the main window,
    // once what is queued has reached the device.
    rig.window->close();
    QTRY_COMPARE(rig.deviceReceived().size(), 64 * 1024);
    QTRY_VERIFY(!rig.port->isOpen());
    QVERIFY(!rig.window->isVisible() && aboutDialog()->isVisible());
#ifdef Q_OS_UNIX
    QVERIFY(portLocksHeldHere().isEmpty());
#endif
    QTRY_COMPARE(rig.logLines().size(), 1);
    aboutDialog()->close();
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
