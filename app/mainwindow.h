#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "aboutdialog.h"
#include "transmitterwait.h"

#include <QCursor>
#include <QList>
#include <QPointer>
#include <QMainWindow>
#include <QSerialPort>
#include <QSize>
#include <QTimer>

class CommLog;

namespace Ui {
class MainWindow;
}

// The terminal's one window: owns the form and the serial port and wires one to the other.
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
    // A message handed to the port, logged once its last byte has left Qt's buffer.
    struct Outgoing
    {
        QString text;
        qint64 size;
    };

    void placeWindow();
    void setPortOpen(bool open);
    void logSent();
    void drainOrClose();
    void finishClosing();
    void showBusy(bool busy);
    void onPortError(QSerialPort::SerialPortError error);
    void shutPort();

    Ui::MainWindow *ui;
    QSize windowSize;
    // No parent: a window of its own that the main window merely shows.
    AboutDialog aboutDialog;
    QSerialPort *serialPort;
    CommLog *commLog;
    QList<Outgoing> outgoing;
    qint64 outgoingBytes = 0;
    // While a close waits for the queued bytes: a look at the queues every few milliseconds,
    // then the wait for the transmitter, and the time it all takes at most.
    QTimer drainPoll;
    TransmitterWait transmitterWait;
    QTimer *drainDeadline;
    // The cursors the window's widgets had of their own while the busy one covers them.
    QList<QPair<QPointer<QWidget>, QCursor>> ownCursors;
    QTimer *readNudge = nullptr;
    bool closeWhenShut = false;
};

#endif // MAINWINDOW_H
