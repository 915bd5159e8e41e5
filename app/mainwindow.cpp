#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "commlog.h"

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    serialPort = new QSerialPort(this);
    commLog = new CommLog(ui->comLog);
    initPort();

    connect(
            ui->openCom, &QCheckBox::toggled, ui->openCom,
            [this](bool checked) { setPortOpen(checked); }, Qt::DirectConnection);
    connect(serialPort, SIGNAL(readyRead()), this, SLOT(recvMsg()));
    connect(
            ui->btnSend, &QPushButton::clicked, ui->btnSend,
            [this] { sendMsg(ui->message->toPlainText()); }, Qt::DirectConnection);
    connect(serialPort, &QSerialPort::errorOccurred, this, &MainWindow::onPortError);
}

MainWindow::~MainWindow()
{
    delete ui;
}
