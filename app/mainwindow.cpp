#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "busyport.h"
#include "commlog.h"
#include "hexmessage.h"
#include "logline.h"
#include "outputqueue.h"
#include "placement.h"
#include "wine.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSerialPortInfo>
#include <QSignalBlocker>
#include <QStyle>

namespace {

// Every user-facing error: a modal warning box without parent, titled "Tip", with one Ok button.
void showWarning(const QString &text)
{
    QMessageBox::warning(nullptr, QStringLiteral("Tip"), text);
}

void applyLineSettings(QSerialPort *port, const Ui::MainWindow *ui)
{
    port->setBaudRate(ui->baudRate->currentText().toInt(), QSerialPort::AllDirections);

    const int dataBits = ui->dataBits->currentText().toInt();
    if (dataBits >= QSerialPort::Data5 && dataBits <= QSerialPort::Data8)
        port->setDataBits(QSerialPort::DataBits(dataBits));

    const QString stopBits = ui->stopBits->currentText();
    if (stopBits == QLatin1String("1"))
        port->setStopBits(QSerialPort::OneStop);
    else if (stopBits == QLatin1String("2"))
        port->setStopBits(QSerialPort::TwoStop);

    const QString parity = ui->parity->currentText();
    if (parity == QLatin1String("NoParity"))
        port->setParity(QSerialPort::NoParity);
    else if (parity == QLatin1String("EvenParity"))
        port->setParity(QSerialPort::EvenParity);
    else if (parity == QLatin1String("OddParity"))
        port->setParity(QSerialPort::OddParity);
}

// How long `bytes` take on the line (a start bit, the data bits, parity and the stop bits for
// each), and a second more for the device; never more than three in all.
int drainTimeMs(const QSerialPort &port, qint64 bytes)
{
    const int bitsPerByte = 1 + port.dataBits() + (port.parity() == QSerialPort::NoParity ? 0 : 1)
            + (port.stopBits() == QSerialPort::TwoStop ? 2 : 1);
    const qint64 lineMs = bytes * bitsPerByte * 1000 / qMax(1, port.baudRate());
    return int(qMin<qint64>(lineMs + 1000, 3000));
}

// What has yet to go out on the line: what Qt holds, and what the system holds beyond it.
qint64 unsentBytes(const QSerialPort &port)
{
    return port.bytesToWrite() + systemOutputQueue(port);
}

} // namespace

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
    connect(serialPort, &QSerialPort::bytesWritten, this, &MainWindow::logSent);
    drainPoll.setInterval(10);
    connect(&drainPoll, &QTimer::timeout, this, &MainWindow::drainOrClose);
    connect(&transmitterWait, &TransmitterWait::finished, this, [this] {
        shutPort();
        if (closeWhenShut)
            close();
    });
    drainDeadline = new QTimer(this);
    drainDeadline->setObjectName(QStringLiteral("drainDeadline"));
    drainDeadline->setSingleShot(true);
    drainDeadline->setTimerType(Qt::PreciseTimer);
    connect(drainDeadline, &QTimer::timeout, this, &MainWindow::finishClosing);
    // Wine 8 never runs the completion routine with which Qt on Windows waits for incoming
    // bytes, so Qt never starts a read by itself. peek() makes it read, and takes nothing.
    // Real Windows needs no nudge and gets none.
    if (runningUnderWine()) {
        readNudge = new QTimer(this);
        readNudge->setObjectName(QStringLiteral("wineReadNudge"));
        readNudge->setInterval(20);
        connect(readNudge, &QTimer::timeout, serialPort, [this] {
            char next;
            serialPort->peek(&next, 1);
        });
    }

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
    applyLineSettings(serialPort, ui);
    if (!serialPort->open(QIODevice::ReadWrite)) {
        showWarning(QStringLiteral("串口打开失败"));
        return false;
    }
    // Bytes the device sent while the port was closed belong to no session; drop them.
    serialPort->clear(QSerialPort::Input);
    if (readNudge)
        readNudge->start();
    return true;
}

void MainWindow::setPortOpen(bool open)
{
    if (open && openPort()) {
        ui->btnSend->setEnabled(true);
        return;
    }
    if (open) {
        // A port that failed to open must not look open; the next click simply retries.
        const QSignalBlocker quiet(ui->openCom);
        ui->openCom->setChecked(false);
        return;
    }
    // close() would drop what Qt still holds, and the system would send what it holds after
    // Qt restored the port's old speed: let both reach the device first, and the transmitter
    // empty, with the window answering meanwhile and the box unable to reopen the port before
    // it is shut.
    ui->btnSend->setEnabled(false);
    ui->openCom->setEnabled(false);
    showBusy(true);
    drainDeadline->start(drainTimeMs(*serialPort, unsentBytes(*serialPort)));
    drainPoll.start();
    drainOrClose();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The port goes with the window, even while the about dialog keeps the program running.
    if (serialPort->isOpen()) {
        closeWhenShut = true;
        ui->openCom->setChecked(false);
        if (serialPort->isOpen()) {
            event->ignore(); // closed again once the queued bytes are out
            return;
        }
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
    // write() only queues the bytes, and refuses them only when the port is gone.
    if (serialPort->write(*bytes) != bytes->size()) {
        onPortError(QSerialPort::WriteError);
        return;
    }
    outgoing.append({text, bytes->size()});
    outgoingBytes += bytes->size();
    logSent();
}

void MainWindow::logSent()
{
    // Whatever has left Qt's buffer has reached the system. Qt says so only on a later pass of
    // its event loop, after a reply may have been read, so its count is not waited for.
    qint64 gone = outgoingBytes - serialPort->bytesToWrite();
    while (!outgoing.isEmpty() && outgoing.first().size <= gone) {
        gone -= outgoing.first().size;
        outgoingBytes -= outgoing.first().size;
        commLog->append(logLine(Traffic::Sent, outgoing.takeFirst().text));
    }
}

void MainWindow::recvMsg()
{
    const QByteArray bytes = serialPort->readAll();
    logSent(); // a reply never stands above the request it answers
    if (drainDeadline->isActive())
        return; // the user closed the port: what comes now belongs to no session
    commLog->append(logLine(Traffic::Received, QString::fromLatin1(bytes.toHex())));
}

void MainWindow::drainOrClose()
{
    if (unsentBytes(*serialPort) > 0)
        return;
    drainPoll.stop();
    transmitterWait.start(*serialPort);
}

void MainWindow::finishClosing()
{
    // Closing restores the speed the port had before: nothing may go out at that speed.
    discardSystemOutput(*serialPort);
    shutPort();
    showWarning(QStringLiteral("串口关闭时仍有数据未发送"));
    if (closeWhenShut)
        close();
}

void MainWindow::showBusy(bool busy)
{
    // The log and the message box keep cursors of their own, which the window's would not cover.
    if (busy && ownCursors.isEmpty()) {
        for (QWidget *widget : findChildren<QWidget *>()) {
            if (widget->testAttribute(Qt::WA_SetCursor)) {
                ownCursors.append({widget, widget->cursor()});
                widget->setCursor(Qt::BusyCursor);
            }
        }
        setCursor(Qt::BusyCursor);
    } else if (!busy) {
        for (const auto &own : qAsConst(ownCursors)) {
            if (own.first)
                own.first->setCursor(own.second);
        }
        ownCursors.clear();
        unsetCursor();
    }
}

void MainWindow::onPortError(QSerialPort::SerialPortError error)
{
    // Whatever else goes wrong with an open port means its device is gone: Wine names a vanished
    // device as an error it cannot place, and some Windows drivers' errors reach Qt unmapped, as
    // PermissionError or DeviceNotFoundError, when an adapter is pulled with a read pending.
    const bool lost = error != QSerialPort::NoError && error != QSerialPort::TimeoutError
            && error != QSerialPort::NotOpenError;
    if (!lost || !serialPort->isOpen())
        return;
    // Close before anything else: Qt 5 repeats the error for as long as a vanished device
    // stays open, and a modal box shown first would let that spin on under it.
    shutPort();
    showWarning(QStringLiteral("串口已断开"));
    if (closeWhenShut)
        close();
}

void MainWindow::shutPort()
{
    logSent(); // before Qt's own word on it, which the close will not wait for
    drainPoll.stop();
    drainDeadline->stop();
    transmitterWait.stop();
    showBusy(false);
    if (readNudge)
        readNudge->stop();
    serialPort->close();
    // What did not reach the device whole was never sent.
    outgoing.clear();
    outgoingBytes = 0;
    const QSignalBlocker quiet(ui->openCom);
    ui->openCom->setChecked(false);
    ui->openCom->setEnabled(true);
    ui->btnSend->setEnabled(false);
}
