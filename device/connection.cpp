#include "device/connection.h"
#include "app/mainwindow.h"
#include "app/session.h"
#include "device/frames.h"
#include "installer/steps.h"
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
    // A listing cut short on an earlier link must not swallow this link's reply.
    sizeOfData = 0;
    listWhole = true;
    downloadIntoMemory = false;
    startRequest(Mode::Memory);

    readErrorsInARow = 0;
    connect(&serial, &QSerialPort::readyRead, &serial, [this] {
        readErrorsInARow = 0;
        dispatchReply();
    }, Qt::DirectConnection);
    connect(&serial, &QSerialPort::errorOccurred, &serial, [this](QSerialPort::SerialPortError error) {
        handleLinkError(error);
    }, Qt::DirectConnection);
    connected = true;
    ++linkNumber;

    if (installStat == InstallStep::Connect || installStat == InstallStep::Flash) {
        const quint64 link = linkNumber;
        const int step = installStat;
        QTimer::singleShot(3000, this, [this, link, step] {
            if (link == linkNumber && connected && installStat == step)
                countDown();
        });
    }
}

void MainWindow::disconnectDevice()
{
    log("...disconnected");
    ui->pushButton_3->setText("connect");
    QObject::disconnect(&serial, &QSerialPort::readyRead, &serial, nullptr);
    QObject::disconnect(&serial, &QSerialPort::errorOccurred, &serial, nullptr);
    ui->tableWidget->clear();
    ui->tableWidget->setRowCount(0);
    recived.clear();
    serial.close();
    connected = false;
    if (installStat != InstallStep::Idle)
        Install();
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
    QObject::disconnect(&serial, &QSerialPort::readyRead, &serial, nullptr);
    QObject::disconnect(&serial, &QSerialPort::errorOccurred, &serial, nullptr);
    resetStorageView();
    ui->tableWidget->setRowCount(0);
    ui->pushButton_3->setText("connect");
    recived.clear();
    serial.close();
    connected = false;
    showStatus("ESP32: connection lost");
    log("...connection lost");
    // Never flash or restore on a link that is gone.
    if (installStat != InstallStep::Idle)
        on_pushButton_9_clicked();
}

void MainWindow::countDown()
{
    if (mode != Mode::Memory && mode != Mode::List)
        return;
    // A receiver that answered something may hold data whose list never
    // came: the backup step asks before the firmware is written over it.
    // One that said nothing, or that it holds nothing, has nothing to lose.
    const bool mayHoldData = mode == Mode::Memory ? !recived.isEmpty() : usedMemory != 0;
    mode.clear();
    sizeOfData = 0;
    if (installStat == InstallStep::Connect && mayHoldData) {
        listWhole = false;
        Install();
        return;
    }
    log("...filesystem not found on device");
    // Without a listing, the step that would have used it is passed over.
    installStat = installStat == InstallStep::Connect ? InstallStep::Backup : InstallStep::Restore;
    Install();
}
