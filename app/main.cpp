#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The forms place everything in fixed pixels: on a HiDPI screen the whole window must
    // scale, or the larger fonts clip in their fixed boxes.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);

    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
