#include "app/mainwindow.h"
#include "app/session.h"
#include "device/connection.h"
#include "device/frames.h"
#include "device/replies.h"
#include "storage/listing.h"
#include "ui_mainwindow.h"

// Stale bytes or the receiver's start-up noise must not stand in front of a
// one-byte reply: every request starts from an empty buffer (startRequest).

void MainWindow::on_pushButton_4_clicked()
{
    if (!linkIsIdle("device is busy now"))
        return;
    if (!hasSelectedFile()) {
        refuse(QMessageBox::Information, "select file, please");
        return;
    }
    if (!confirm("Do you want to delete " + selectedFileName() + "?")) {
        showStatus(QString());
        return;
    }
    // A nested event loop ran while the question was open: check again.
    if (!hasSelectedFile())
        return;
    startRequest(Mode::Remove, pathArgument(devicePath(selectedFileName())));
}

void MainWindow::on_pushButton_5_clicked()
{
    if (!linkIsIdle("device is busy now"))
        return;
    showStatus("formatting , please wait...");
    if (confirm("Please, confirm to format SPIFFS"))
        startRequest(Mode::Erase);
    else
        showStatus(QString());
}

void MainWindow::on_pushButton_7_clicked()
{
    if (!linkIsIdle("device is busy now"))
        return;
    if (!hasSelectedFile()) {
        refuse(QMessageBox::Information, "select file, please");
        return;
    }
    const QString path = devicePath(selectedFileName());
    if (getExtension(path).isEmpty()) {
        refuse(QMessageBox::Information, "unsupported file for execution");
        return;
    }
    startRequest(Mode::Execute, pathArgument(path));
}

void MainWindow::on_pushButton_8_clicked()
{
    if (!linkIsIdle("device is busy now"))
        return;
    startRequest(Mode::Reboot);
    safety.restartRequested = true;
    showStatus("ESP32 restarted");
}

void MainWindow::handleRemoveReply()
{
    switch (decodeRemoveReply(recived)) {
    case CommandReply::Accepted:
        startRequest(Mode::Memory);
        showStatus("removing complete");
        break;
    case CommandReply::Refused:
        showStatus("ESP32: can't remove the file");
        mode.clear();
        break;
    case CommandReply::Waiting:
    case CommandReply::Ignored:
        break;
    }
}

void MainWindow::handleEraseReply()
{
    if (decodeEraseReply(recived) == CommandReply::Accepted) {
        showStatus("file system ESP32 formatted");
        startRequest(Mode::Memory);
    }
}

void MainWindow::handleExecuteReply()
{
    const CommandReply reply = decodeExecuteReply(recived);
    if (reply == CommandReply::Accepted)
        showStatus("file opened on ESP32");
    else if (reply == CommandReply::Refused)
        showStatus("ESP32: file unsupported");
    mode.clear();
}
