#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "aboutdialog.h"

#include <QMainWindow>
#include <QSerialPort>
#include <QSize>

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

private slots:
    void on_pushButton_clicked();

private:
    void placeWindow();
    void setPortOpen(bool open);
    void onPortError(QSerialPort::SerialPortError error);
    void dropLostPort();

    Ui::MainWindow *ui;
    QSize windowSize;
    // No parent: a window of its own that the main window merely shows.
    AboutDialog aboutDialog;
    QSerialPort *serialPort;
    CommLog *commLog;
};

#endif // MAINWINDOW_H
