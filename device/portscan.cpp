#include "device/portscan.h"
#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QSerialPortInfo>

int preferredPortIndex(const QStringList &portNames)
{
    const int bridge = portNames.indexOf("cu.SLAB_USBtoUART");
    if (bridge >= 0)
        return bridge;
    return portNames.isEmpty() ? -1 : 0;
}

void MainWindow::on_pushButton_6_clicked()
{
    ui->comboBox->clear();
    QStringList names;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts())
        names << port.portName();
    ui->comboBox->addItems(names);
    ui->comboBox->setCurrentIndex(preferredPortIndex(names));
    showStatus("scan ports complete");
}
