#include "app/mainwindow.h"
#include "app/session.h"
#include "device/connection.h"
#include "device/frames.h"
#include "device/replies.h"
#include "storage/filenames.h"
#include "ui_mainwindow.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

namespace {
// False when another file of this batch download was saved under the name.
bool rememberSavingName(const QString &name)
{
    const QString key = name.toCaseFolded();
    if (savedNames.contains(key))
        return false;
    savedNames.insert(key);
    return true;
}

// Writes exactly the announced bytes; on any failure no partial file is
// left behind. What is on disk is read back: on a full disk a commit can
// report success over a file its buffered bytes never reached.
bool saveDownload(const QString &destination, const QByteArray &content)
{
    QSaveFile out(destination);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size() || !out.commit())
        return false;
    QFile written(destination);
    if (written.open(QIODevice::ReadOnly) && written.readAll() == content)
        return true;
    written.remove();
    return false;
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
    const QString name = nameItem->text();
    const QTableWidgetItem *sizeItem = ui->tableWidget->item(row, 2);
    listedSize = sizeItem ? sizeItem->text().toUInt() : 0;

    const QString folder = batch ? QString("files")
                                 : QFileDialog::getExistingDirectory(nullptr, QString(), QString(),
                                                                     QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) {
        showStatus("PC: empty downloading path");
        return;
    }
    if (batch)
        log(name);
    if (listedSize > largestFileSize) {
        endDownloadWith("ESP32: file too large");
        return;
    }

    const QString path = devicePath(name);
    const QString saving = savingName(path);
    // Names that differ only in case are one file on Windows and macOS.
    if (batch && !rememberSavingName(saving)) {
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

void MainWindow::handleDownloadReply()
{
    if (replyQuiet->isActive()) {
        replyQuiet->stop();
        recived.clear();
        DownloadReply overrun;
        overrun.kind = DownloadReply::Overrun;
        endDownload(overrun);
        return;
    }
    const DownloadReply reply = decodeDownloadReply(recived, sizeOfFile, listedSize);
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
    if (downloadIntoMemory) {
        downloadIntoMemory = false;
        const bool brought = reply.kind == DownloadReply::Complete || reply.kind == DownloadReply::Empty;
        readBack = brought ? std::optional<QByteArray>(reply.content) : std::nullopt;
        reportEnded(Finished::ReadBack);
        return;
    }
    switch (reply.kind) {
    case DownloadReply::Refused:
        showStatus("ESP32: can't open the file");
        if (currentRowDownloadAll >= 0) {
            currentRowDownloadAll = -1;
            reportEnded(Finished::DownloadBatch, QFileInfo(file.fileName()).fileName() + " can't be read from the device");
            return;
        }
        break;
    case DownloadReply::TooLarge:
        endDownloadWith("ESP32: file too large");
        break;
    case DownloadReply::SizeDiffers:
        endDownloadWith("ESP32: file size differs from the list");
        break;
    case DownloadReply::Overrun:
        endDownloadWith("ESP32: reply longer than the file");
        break;
    case DownloadReply::Empty:
        showStatus("file empty");
        log("...skipped");
        break;
    case DownloadReply::Complete:
        if (saveDownload(file.fileName(), reply.content))
            showStatus("downloading complete");
        else
            endDownloadWith("PC: can't write downloading file");
        break;
    default:
        break;
    }
    if (currentRowDownloadAll >= 0)
        on_pushButton_DownloadAll_clicked();
}

// A download that fails this way leaves a backup without the file: the
// message goes where the user looks, and a batch ends there, so that an
// installation never goes on to flash over the file; an installation says
// it as the reason it waits.
void MainWindow::endDownloadWith(const QString &message)
{
    showStatus(message);
    mode.clear();
    const bool batch = currentRowDownloadAll >= 0;
    currentRowDownloadAll = -1;
    if (batch && installStat != 0)
        reportEnded(Finished::DownloadBatch, message);
    else
        log(message);
}
