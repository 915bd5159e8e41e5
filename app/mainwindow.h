#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QMainWindow>
#include <QSerialPort>

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

private:
    void setPortOpen(bool open);
    void onPortError(QSerialPort::SerialPortError error);
    void dropLostPort();

    Ui::MainWindow *ui;
    QSerialPort *serialPort;
    CommLog *commLog;
};

#endif // MAINWINDOW_H
