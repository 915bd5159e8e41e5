#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "warning.h"

#include <QSignalBlocker>

namespace {

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

} // namespace

bool MainWindow::openPort()
{
    serialPort->setPortName(ui->portName->currentText());
    // Set before open(): Qt applies them while opening, so the port never runs for a moment
    // with the previous settings, and one the device refuses fails the open.
    applyLineSettings(serialPort, ui);
    if (!serialPort->open(QIODevice::ReadWrite)) {
        showWarning(QStringLiteral("串口打开失败"));
        return false;
    }
    // Bytes the device sent while the port was closed belong to no session; drop them.
    serialPort->clear(QSerialPort::Input);
    return true;
}

void MainWindow::setPortOpen(bool open)
{
    if (!open) {
        serialPort->close();
        ui->btnSend->setEnabled(false);
        return;
    }
    if (openPort()) {
        ui->btnSend->setEnabled(true);
        return;
    }
    // A port that failed to open must not look open; the next click simply retries.
    const QSignalBlocker quiet(ui->openCom);
    ui->openCom->setChecked(false);
}

void MainWindow::onPortError(QSerialPort::SerialPortError error)
{
    const bool lost = error == QSerialPort::ReadError || error == QSerialPort::WriteError
            || error == QSerialPort::ResourceError;
    if (lost && serialPort->isOpen())
        dropLostPort();
}

void MainWindow::dropLostPort()
{
    // Close before anything else: Qt 5 repeats the error for as long as a vanished device
    // stays open, and a modal box shown first would let that spin on under it.
    serialPort->close();
    {
        const QSignalBlocker quiet(ui->openCom);
        ui->openCom->setChecked(false);
    }
    ui->btnSend->setEnabled(false);
    showWarning(QStringLiteral("串口已断开"));
}
