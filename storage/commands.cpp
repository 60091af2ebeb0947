#include "frames.h"
#include "listing.h"
#include "mainwindow.h"
#include "session.h"
#include "ui_mainwindow.h"

namespace {
bool confirmed(const QString &question)
{
    QMessageBox box(QMessageBox::Warning, QString(), question, QMessageBox::Yes | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Yes;
}

// Stale bytes or the receiver's start-up noise must not stand in front of a
// one-byte reply; so these requests start from an empty buffer.
void sendCommand(const char *name, char command)
{
    mode = name;
    recived.clear();
    sendRequest(request(command));
}

void sendPathCommand(const char *name, char command, const QString &path)
{
    mode = name;
    recived.clear();
    sendRequest(pathRequest(command, path));
}
}

void MainWindow::on_pushButton_4_clicked()
{
    if (!linkIsIdle("device is busy now"))
        return;
    if (!hasSelectedFile()) {
        refuse(QMessageBox::Information, "select file, please");
        return;
    }
    if (!confirmed("Do you want to delete " + selectedFileName() + "?")) {
        showStatus(QString());
        return;
    }
    // A nested event loop ran while the question was open: check again.
    if (!hasSelectedFile())
        return;
    sendPathCommand("REMOVE", Command::Remove, devicePath(selectedFileName()));
}

void MainWindow::on_pushButton_5_clicked()
{
    if (!linkIsIdle("device is busy now"))
        return;
    showStatus("formatting , please wait...");
    if (confirmed("Please, confirm to format SPIFFS"))
        sendCommand("ERASE", Command::Erase);
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
    sendPathCommand("EXECUTE", Command::Execute, path);
}

void MainWindow::on_pushButton_8_clicked()
{
    if (!linkIsIdle("device is busy now"))
        return;
    sendCommand("REBOOT", Command::Reboot);
    showStatus("ESP32 restarted");
}

void MainWindow::handleRemoveReply()
{
    if (recived.size() != 1)
        return;
    if (recived.at(0) == 'R') {
        mode = "MEMORY";
        sendRequest(request(Command::Memory));
        showStatus("removing complete");
    } else if (recived.at(0) == 'r') {
        showStatus("ESP32: can't remove the file");
        mode.clear();
    }
    recived.clear();
}

void MainWindow::handleEraseReply()
{
    if (recived.size() != 1)
        return;
    if (recived.at(0) == 'E') {
        showStatus("file system ESP32 formatted");
        mode = "MEMORY";
        sendRequest(request(Command::Memory));
    }
    recived.clear();
}

void MainWindow::handleExecuteReply()
{
    if (recived.size() == 1 && recived.at(0) == 'X')
        showStatus("file opened on ESP32");
    else if (recived.size() == 1 && recived.at(0) == 'x')
        showStatus("ESP32: file unsupported");
    recived.clear();
    mode.clear();
}
