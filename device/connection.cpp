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
    safety.resumedAt = -1;
    sendRequest(requestFrame(name, arguments));
}

void MainWindow::on_pushButton_3_clicked()
{
    showStatus(QString());
    resetStorageView();
    if (connected) {
        log("...disconnected");
        closeLink();
    } else if (openLink()) {
        log("...connected to device");
        startRequest(Mode::Memory);
    }
}

void MainWindow::resetStorageView()
{
    ui->tableWidget->clear();
    ui->memory->setValue(0);
    ui->totalMemory->setText("0");
    ui->availableMemory->setText("0");
}

// Opens the port chosen in the port list with the link settings and attaches
// the receive path; false, with the reason on the status bar, when it can't.
bool MainWindow::openLink()
{
    serial.setPortName(ui->comboBox->currentText());
    serial.setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    serial.setDataBits(QSerialPort::Data8);
    serial.setParity(QSerialPort::NoParity);
    serial.setStopBits(QSerialPort::OneStop);
    serial.setFlowControl(QSerialPort::NoFlowControl);
    if (!serial.open(QIODevice::ReadWrite)) {
        showStatus("ESP32: can't use the port");
        return false;
    }
    ui->pushButton_3->setText("disconnect");

    serial.clear(QSerialPort::AllDirections);
    // An exchange cut short on an earlier link must not swallow this link's reply.
    giveUpExchange();
    // Figures of 0 until this link's receiver has given its own.
    totalMemory = usedMemory = 0;
    safety.readErrorsInARow = 0;
    safety.restartRequested = false;
    connect(&serial, &QSerialPort::readyRead, this, [this] {
        safety.readErrorsInARow = 0;
        lineActive();
        dispatchReply();
    }, Qt::DirectConnection);
    connect(&serial, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        handleLinkError(error);
    }, Qt::DirectConnection);
    connected = true;
    return true;
}

// The one teardown of the link, closed on purpose or lost.
void MainWindow::closeLink()
{
    QObject::disconnect(&serial, &QSerialPort::readyRead, this, nullptr);
    QObject::disconnect(&serial, &QSerialPort::errorOccurred, this, nullptr);
    resetStorageView();
    ui->tableWidget->setRowCount(0);
    ui->pushButton_3->setText("connect");
    recived.clear();
    serial.close();
    connected = false;
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
    safety.downloadIntoMemory = false;
}

void MainWindow::handleLinkError(int error)
{
    if (error == QSerialPort::ReadError) {
        if (++safety.readErrorsInARow < persistentReadErrors)
            return;
    } else if (error != QSerialPort::ResourceError) {
        return;
    }
    closeLostLink();
}

void MainWindow::closeLostLink()
{
    const bool restarting = safety.restartRequested;
    closeLink();
    // A board with a USB port of its own leaves the PC as it restarts.
    if (restarting)
        return;
    showStatus("ESP32: connection lost");
    linkLost();
}
