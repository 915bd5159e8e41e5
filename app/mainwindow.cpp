#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "commlog.h"
#include "placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
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

    placeWindow();
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::placeWindow()
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect placed = initialGeometry(available, geometry(),
                                         style()->pixelMetric(QStyle::PM_TitleBarHeight));
    setGeometry(placed);
    windowSize = placed.size();
}

void MainWindow::resizeEvent(QResizeEvent *)
{
    // The form sits at fixed positions: any other size is undone at once, wherever the
    // drag left the top-left corner.
    QRect locked = geometry();
    locked.setSize(windowSize);
    setGeometry(locked);
}

void MainWindow::on_pushButton_clicked()
{
    aboutDialog.show();
}
