#include "device/connection.h"
#include "app/mainwindow.h"
#include "app/session.h"
#include "device/frames.h"
#include "ui_mainwindow.h"

#include <QTimer>

namespace {
// A closed pseudo-terminal or a vanished USB bridge may report a flood of
// read errors instead of one resource error; this many in a row, with no
// data between them, means the device is gone.
constexpr int persistentReadErrors = 100;
}

void sendRequest(const QByteArray &frame)
{
    serial.write(frame);
    serial.flush();
}

void startRequest(const QString &name, const QByteArray &arguments)
{
    mode = name;
    recived.clear();
    sendRequest(requestFrame(name, arguments));
}

void MainWindow::on_pushButton_3_clicked()
{
    showStatus(QString());
    resetStorageView();
    if (!connected)
        connectDevice();
    else
        disconnectDevice();
}

void MainWindow::resetStorageView()
{
    ui->tableWidget->clear();
    ui->memory->setValue(0);
    ui->totalMemory->setText("0");
    ui->availableMemory->setText("0");
}

void MainWindow::connectDevice()
{
    serial.setPortName(ui->comboBox->currentText());
    serial.setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    serial.setDataBits(QSerialPort::Data8);
    serial.setParity(QSerialPort::NoParity);
    serial.setStopBits(QSerialPort::OneStop);
    serial.setFlowControl(QSerialPort::NoFlowControl);
    if (!serial.open(QIODevice::ReadWrite)) {
        showStatus("ESP32: can't use the port");
        return;
    }
    log("...connected to device");
    ui->pushButton_3->setText("disconnect");

    serial.clear(QSerialPort::AllDirections);
    // An exchange cut short on an earlier link must not swallow this link's reply.
    giveUpExchange();
    listWhole = true;
    // Figures of 0 until this link's receiver has given its own.
    totalMemory = usedMemory = 0;
    startRequest(Mode::Memory);

    readErrorsInARow = 0;
    connect(&serial, &QSerialPort::readyRead, this, [this] {
        readErrorsInARow = 0;
        dispatchReply();
    }, Qt::DirectConnection);
    connect(&serial, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        handleLinkError(error);
    }, Qt::DirectConnection);
    connected = true;
}

void MainWindow::disconnectDevice()
{
    log("...disconnected");
    ui->pushButton_3->setText("connect");
    QObject::disconnect(&serial, &QSerialPort::readyRead, this, nullptr);
    QObject::disconnect(&serial, &QSerialPort::errorOccurred, this, nullptr);
    ui->tableWidget->clear();
    ui->tableWidget->setRowCount(0);
    recived.clear();
    serial.close();
    connected = false;
    reportEnded(Finished::LinkClosed);
}

// The link is idle again: the reply still awaited, and any part of it held,
// is given up.
void MainWindow::giveUpExchange()
{
    replyQuiet->stop();
    heldDownload.clear();
    mode.clear();
    recived.clear();
    sizeOfData = 0;
    sizeOfFile = 0;
    downloadIntoMemory = false;
}

void MainWindow::handleLinkError(int error)
{
    if (error == QSerialPort::ReadError) {
        if (++readErrorsInARow < persistentReadErrors)
            return;
    } else if (error != QSerialPort::ResourceError) {
        return;
    }
    closeLostLink();
}

void MainWindow::closeLostLink()
{
    QObject::disconnect(&serial, &QSerialPort::readyRead, this, nullptr);
    QObject::disconnect(&serial, &QSerialPort::errorOccurred, this, nullptr);
    resetStorageView();
    ui->tableWidget->setRowCount(0);
    ui->pushButton_3->setText("connect");
    recived.clear();
    serial.close();
    connected = false;
    showStatus("ESP32: connection lost");
    log("...connection lost");
    // Never flash or restore on a link that is gone.
    if (installStat != 0)
        on_pushButton_9_clicked();
}
