#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QSerialPort>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    serialPort = new QSerialPort(this);
    initPort();
}

MainWindow::~MainWindow()
{
    delete ui;
}
