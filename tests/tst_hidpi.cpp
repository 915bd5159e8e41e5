#include "mainwindow.h"
#include "windowhelpers.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QtTest>

int wireletMain(int argc, char *argv[]);

// Run with fonts at 144 dpi, as on a screen scaled to 150 %: the real main() must make the
// whole window scale, not just its texts, or they clip in the form's fixed boxes. The forms
// were laid out for the 9-point font of Windows, which the test puts in place.
class TestHighDpi : public QObject
{
    Q_OBJECT

private slots:
    void textsFitTheirBoxes();
};

namespace {

QStringList g_checked;
QStringList g_clipped;

// The room a widget's text has: its width less what the style draws beside the text.
int roomForText(QWidget *widget)
{
    QStyle *style = widget->style();
    if (qobject_cast<QCheckBox *>(widget))
        return widget->width() - style->pixelMetric(QStyle::PM_IndicatorWidth)
                - style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    if (qobject_cast<QPushButton *>(widget))
        return widget->width() - 2 * style->pixelMetric(QStyle::PM_ButtonMargin);
    return widget->width();
}

void checkTexts(QWidget *window)
{
    QList<QWidget *> widgets;
    for (QLabel *label : window->findChildren<QLabel *>())
        widgets.append(label);
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>())
        widgets.append(button);
    for (QWidget *widget : widgets) {
        const QString text = widget->property("text").toString();
        if (text.isEmpty())
            continue; // the pictures
        g_checked.append(widget->objectName());
        const QFontMetrics metrics(widget->font());
        const QSize needed(metrics.horizontalAdvance(text), metrics.height());
        const QSize room(roomForText(widget), widget->height());
        if (needed.width() > room.width() || needed.height() > room.height()) {
            g_clipped.append(QString("%1 needs %2x%3, has %4x%5")
                                     .arg(widget->objectName())
                                     .arg(needed.width())
                                     .arg(needed.height())
                                     .arg(room.width())
                                     .arg(room.height()));
        }
    }
}

// Runs as soon as main() has built its application object, before the window exists.
void inspectOnceShown()
{
    QFont font = QApplication::font();
    font.setPointSize(9);
    QApplication::setFont(font);

    onceMainWindowShown([](MainWindow *main) {
        main->findChild<QPushButton *>("pushButton")->click();
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible())
                checkTexts(widget);
        }
        QApplication::closeAllWindows();
    });
}

} // namespace

void TestHighDpi::textsFitTheirBoxes()
{
    qAddPreRoutine(inspectOnceShown);
    char name[] = "wirelet";
    char *argv[] = {name, nullptr};
    QCOMPARE(wireletMain(1, argv), 0);
    QVERIFY(g_checked.contains("openCom"));
    QVERIFY(g_checked.contains("label_6"));
    QVERIFY2(g_clipped.isEmpty(), qPrintable(g_clipped.join("; ")));
}

QTEST_APPLESS_MAIN(TestHighDpi)
#include "tst_hidpi.moc"
