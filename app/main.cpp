#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // The forms place everything in fixed pixels: on a HiDPI screen the whole window must
    // scale, or the larger fonts clip in their fixed boxes. Qt 6 always does.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // Qt 5 rounds the factor by default: 150 % would draw the window at 200 %, taller than a
    // laptop's screen. Qt 6 passes it through already.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
            Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
#endif

    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
