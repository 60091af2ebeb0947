#include "app/mainwindow.h"
#include "app/session.h"
#include "device/connection.h"
#include "device/frames.h"
#include "device/replies.h"
#include "storage/filenames.h"
#include "storage/wholefile.h"
#include "ui_mainwindow.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {
// False when another file of this batch download was saved under the name.
bool rememberSavingName(const QString &saving, const QString &deviceName)
{
    const QString key = windowsNameKey(saving);
    if (safety.savedNames.contains(key))
        return safety.savedNames.value(key) == deviceName;
    safety.savedNames.insert(key, deviceName);
    return true;
}
}

void MainWindow::on_pushButton_clicked()
{
    if (!linkIsIdle("device is busy now: " + mode))
        return;
    const bool batch = currentRowDownloadAll >= 0;
    const int row = batch ? currentRowDownloadAll : selectedRow();
    const QTableWidgetItem *nameItem = ui->tableWidget->item(row, 1);
    if (!nameItem || (!batch && !hasSelectedFile())) {
        refuse(QMessageBox::Information, "select file, please");
        return;
    }
    const QString folder = batch ? QString("files")
                                 : QFileDialog::getExistingDirectory(nullptr, QString(), QString(),
                                                                     QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) {
        showStatus("PC: empty downloading path");
        return;
    }
    if (batch)
        log(nameItem->text());
    const QTableWidgetItem *sizeItem = ui->tableWidget->item(row, 2);
    startDownload(nameItem->text(), sizeItem ? sizeItem->text().toUInt() : 0, folder);
}

// Asks for a listed file, to be saved into folder.
void MainWindow::startDownload(const QString &name, quint32 listedSize, const QString &folder)
{
    safety.listedSize = listedSize;
    if (safety.listedSize > largestFileSize) {
        endDownloadWith("ESP32: file too large");
        return;
    }

    const QString path = devicePath(name);
    const QString saving = savingName(path);
    // Names that differ only in case are one file on Windows and macOS; a
    // backup folder may be carried to Windows from any system.
    if (currentRowDownloadAll >= 0 && !rememberSavingName(saving, name)) {
        endDownloadWith("PC: two device files have the saving name " + saving);
        return;
    }
    const QString destination = folder + "/" + saving;
    showStatus(destination);
    file.setFileName(destination);

    showStatus("downloading, please wait...");
    startRequest(Mode::Download, pathArgument(path));
    sizeOfFile = 0;
}

// A file of the receiver's listing saved into the backup, as Download all
// saves the row.
void MainWindow::saveRow(int row, const QString &name, quint32 size)
{
    currentRowDownloadAll = row;
    startDownload(name, size, "files");
}

// A file read back into memory, to be compared with what was sent.
void MainWindow::readIntoMemory(const QString &name, quint32 size)
{
    safety.listedSize = size;
    safety.downloadIntoMemory = true;
    sizeOfFile = 0;
    startRequest(Mode::Download, pathArgument(devicePath(name)));
}

void MainWindow::handleDownloadReply()
{
    if (replyQuiet->isActive() || !heldDownload.isNull()) {
        // Bytes behind a whole reply: a restart's boot text, or the reply can't
        // be told from what came with it.
        replyQuiet->stop();
        DownloadReply ended;
        ended.kind = bytesBehindContent(heldDownload + recived, heldDownload.size());
        if (ended.kind == DownloadReply::NeedMore)
            return;
        recived.clear();
        heldDownload.clear();
        endDownload(ended);
        return;
    }
    const DownloadReply reply = decodeDownloadReply(recived, sizeOfFile, safety.listedSize, &safety.resumedAt);
    switch (reply.kind) {
    case DownloadReply::NeedMore:
        return;
    case DownloadReply::Prepare:
        showStatus("prepare to download...");
        return;
    case DownloadReply::Progress:
        showStatus("downloaded " + QString::number(reply.percent) + "%");
        return;
    case DownloadReply::Complete:
        showStatus("downloaded 100%");
        // Taken once the line has stayed quiet for a moment behind it: bytes
        // that come meanwhile, a repeated reply say, make it untrusted.
        heldDownload = reply.content;
        replyQuiet->start();
        return;
    default:
        endDownload(reply);
        return;
    }
}

void MainWindow::takeHeldDownload()
{
    DownloadReply whole;
    whole.kind = DownloadReply::Complete;
    whole.content = heldDownload;
    heldDownload.clear();
    endDownload(whole);
}

// Every reply but progress ends the exchange.
void MainWindow::endDownload(const DownloadReply &reply)
{
    mode.clear();
    if (reply.kind == DownloadReply::Restarted) {
        safety.downloadIntoMemory = false;
        showStatus("ESP32: restarted");
        receiverRestarted();
        return;
    }
    if (safety.downloadIntoMemory) {
        safety.downloadIntoMemory = false;
        const bool brought = reply.kind == DownloadReply::Complete || reply.kind == DownloadReply::Empty;
        readBackEnded(brought ? std::optional<QByteArray>(reply.content) : std::nullopt);
        return;
    }
    switch (reply.kind) {
    case DownloadReply::Refused:
        showStatus("ESP32: can't open the file");
        downloadEnded(Saved::No, QFileInfo(file.fileName()).fileName() + " can't be read from the device");
        return;
    case DownloadReply::TooLarge:
        endDownloadWith("ESP32: file too large");
        return;
    case DownloadReply::SizeDiffers:
        endDownloadWith("ESP32: file size differs from the list");
        return;
    case DownloadReply::Overrun:
        endDownloadWith("ESP32: reply longer than the file");
        return;
    case DownloadReply::Empty:
        showStatus("file empty");
        downloadEnded(Saved::Empty);
        return;
    case DownloadReply::Complete:
        if (!saveWhole(file.fileName(), reply.content)) {
            endDownloadWith("PC: can't write downloading file");
            return;
        }
        showStatus("downloading complete");
        downloadEnded(Saved::Yes);
        return;
    default:
        return;
    }
}

// A download that fails this way leaves a backup without the file: the
// message goes where the user looks, and a batch ends there, so that an
// installation never goes on to flash over the file.
void MainWindow::endDownloadWith(const QString &message)
{
    showStatus(message);
    mode.clear();
    downloadEnded(Saved::No, message);
}
