#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/commlog.h"
#include "app/placement.h"
#include "serial/busyport.h"
#include "serial/hexmessage.h"
#include "serial/linesettings.h"
#include "serial/logline.h"
#include "serial/portsession.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QSignalBlocker>
#include <QStyle>

namespace {

// Every user-facing error: a modal warning box without parent, titled "Tip", with one Ok button.
void showWarning(const QString &text)
{
    QMessageBox::warning(nullptr, QStringLiteral("Tip"), text);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowMaximizeButtonHint);
    serialPort = new QSerialPort(this);
    session = new PortSession(serialPort, this);
    logFeeder = new CommLog(ui->comLog);
    initPort();

    connect(
            ui->openCom, &QCheckBox::toggled, ui->openCom,
            [this](bool checked) {
                if (!checked) {
                    closePort();
                } else if (openPort()) {
                    ui->btnSend->setEnabled(true);
                } else {
                    // A port that failed to open must not look open; one more click retries.
                    const QSignalBlocker quiet(ui->openCom);
                    ui->openCom->setChecked(false);
                }
            },
            Qt::DirectConnection);
    connect(serialPort, SIGNAL(readyRead()), this, SLOT(recvMsg()));
    connect(
            ui->btnSend, &QPushButton::clicked, ui->btnSend,
            [this] { sendMsg(ui->message->toPlainText()); }, Qt::DirectConnection);

    connect(session, &PortSession::sent, logFeeder,
            [this](const QString &text) { logFeeder->append(logLine(Traffic::Sent, text)); });
    connect(session, &PortSession::closed, this, [this](bool dropped) {
        showClosed(dropped ? QStringLiteral("串口关闭时仍有数据未发送") : QString());
    });
    connect(session, &PortSession::deviceLost, this,
            [this] { showClosed(QStringLiteral("串口已断开")); });

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
    // Window managers and Windows honour a window's size limits, so none offers to resize or
    // maximise it; resizeEvent() undoes what one that ignores them may still try.
    setFixedSize(windowSize);
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

void MainWindow::initPort()
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    QStringList locations;
    for (const QSerialPortInfo &port : ports)
        locations.append(port.systemLocation());
    const QList<bool> busy = busyPorts(locations);
    for (int i = 0; i < ports.size(); ++i) {
        if (!busy.at(i))
            ui->portName->addItem(ports.at(i).portName());
    }
    if (ui->portName->count() == 0)
        showWarning(QStringLiteral("找不到空闲串口"));
}

bool MainWindow::openPort()
{
    serialPort->setPortName(ui->portName->currentText());
    // Set before open(), so that one the device refuses fails the open. Qt applies them as it
    // opens, the framing first and the speed in a second call: for some microseconds the line
    // runs at the speed it had before.
    applyLineSettings(serialPort, ui->baudRate->currentText(), ui->dataBits->currentText(),
                      ui->stopBits->currentText(), ui->parity->currentText());
    if (!session->open()) {
        showWarning(QStringLiteral("串口打开失败"));
        return false;
    }
    return true;
}

void MainWindow::closePort()
{
    // Until what is on its way is out, the box cannot reopen the port, and the busy cursor says
    // why over the whole window: the log and the message box have cursors of their own.
    ui->btnSend->setEnabled(false);
    const QSignalBlocker quiet(ui->openCom);
    ui->openCom->setChecked(false);
    ui->openCom->setEnabled(false);
    if (ownCursors.isEmpty()) {
        for (QWidget *widget : findChildren<QWidget *>()) {
            if (widget->testAttribute(Qt::WA_SetCursor)) {
                ownCursors.append({widget, widget->cursor()});
                widget->setCursor(Qt::BusyCursor);
            }
        }
    }
    setCursor(Qt::BusyCursor);
    session->close();
}

void MainWindow::showClosed(const QString &warning)
{
    for (const auto &own : qAsConst(ownCursors)) {
        if (own.first)
            own.first->setCursor(own.second);
    }
    ownCursors.clear();
    unsetCursor();
    const QSignalBlocker quiet(ui->openCom);
    ui->openCom->setChecked(false);
    ui->openCom->setEnabled(true);
    ui->btnSend->setEnabled(false);
    if (!warning.isEmpty())
        showWarning(warning);
    if (closeWhenShut)
        close();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The port goes with the window, even while the about dialog keeps the program running: the
    // window closes again once the port is shut.
    if (session->state() != PortSession::State::Closed) {
        closeWhenShut = true;
        closePort();
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::sendMsg(const QString &text)
{
    const std::optional<QByteArray> bytes = decodeHexMessage(text);
    if (!bytes) {
        showWarning(QStringLiteral("发送内容不是有效的十六进制数据"));
        return;
    }
    session->send(text, *bytes);
}

void MainWindow::recvMsg()
{
    if (const std::optional<QByteArray> bytes = session->takeReceived())
        logFeeder->append(logLine(Traffic::Received, QString::fromLatin1(bytes->toHex())));
}
