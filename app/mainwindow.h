#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "forms/aboutdialog.h"

#include <QCursor>
#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QPointer>
#include <QSize>

class CommLog;
class PortSession;
class QSerialPort;

namespace Ui {
class MainWindow;
}

// The terminal's one window: binds the form to the port's session and the log.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void initPort();
    bool openPort();
    void sendMsg(const QString &text);

public slots:
    void recvMsg();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_pushButton_clicked();

private:
    void placeWindow();
    void closePort();
    // The widgets as a closed port leaves them, then the warning if any, then the window's close
    // if it waited for the port.
    void showClosed(const QString &warning);

    Ui::MainWindow *ui;
    QSize windowSize;
    // No parent: a window of its own that the main window merely shows.
    AboutDialog aboutDialog;
    QSerialPort *serialPort;
    PortSession *session;
    CommLog *logFeeder;
    bool closeWhenShut = false;
    // The cursors the window's widgets have of their own, while the busy one covers them.
    QList<QPair<QPointer<QWidget>, QCursor>> ownCursors;
};

#endif // MAINWINDOW_H
