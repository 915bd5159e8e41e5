#include "idleports.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "warning.h"

#include <QSerialPortInfo>

void MainWindow::initPort()
{
    const QStringList names = idlePortNames(QSerialPortInfo::availablePorts());
    ui->portName->addItems(names);
    if (names.isEmpty())
        showWarning(QStringLiteral("找不到空闲串口"));
}
