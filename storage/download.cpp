#include "filenames.h"
#include "frames.h"
#include "mainwindow.h"
#include "session.h"
#include "ui_mainwindow.h"

#include <QFileDialog>
#include <QSaveFile>

namespace {
// The size the file table lists for the file being downloaded. A reply that
// announces another size answers some other request (a receiver repeating
// itself, say) and must not be saved under this file's name.
quint32 listedSize = 0;
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

    const QString path = devicePath(name);
    const QString destination = folder + "/" + savingName(path);
    showStatus(destination);
    file.setFileName(destination);

    showStatus("downloading, please wait...");
    recived.clear();
    mode = "DOWNLOAD";
    sendRequest(pathRequest(Command::Download, path));
    sizeOfFile = 0;
}

namespace {
// Writes exactly the announced bytes; on any failure an older file of that
// name stays as it was and no partial file is left behind.
bool saveDownload(const QString &destination, const QByteArray &content, int size)
{
    QSaveFile out(destination);
    return out.open(QIODevice::WriteOnly) && out.write(content.constData(), size) == size && out.commit();
}
}

void MainWindow::handleDownloadReply()
{
    if (sizeOfFile == 0) {
        if (recived.size() == 1) {
            if (recived.at(0) == 'd') {
                showStatus("ESP32: can't open the file");
                recived.clear();
                mode.clear();
                currentRowDownloadAll = -1;
            } else {
                showStatus("prepare to download...");
            }
        } else if (recived.size() >= 4 && bigEndianAt(recived, 0) != listedSize) {
            showStatus("ESP32: file size differs from the list");
            log("ESP32: file size differs from the list");
            recived.clear();
            mode.clear();
            currentRowDownloadAll = -1;
        } else if (recived.size() >= 4) {
            sizeOfFile = int(bigEndianAt(recived, 0));
            recived.remove(0, 4);
            if (sizeOfFile == 0) {
                showStatus("file empty");
                log("...skipped");
                recived.clear();
                mode.clear();
            }
        }
    }

    // Content that came with the size counts at once.
    if (sizeOfFile > 0) {
        const qint64 percent = qint64(recived.size()) * 100 / sizeOfFile;
        showStatus("downloaded " + QString::number(percent) + "%");
        if (percent >= 100) {
            const bool saved = saveDownload(file.fileName(), recived, sizeOfFile);
            recived.clear();
            mode.clear();
            sizeOfFile = 0;
            if (saved) {
                showStatus("downloading complete");
            } else {
                // A backup that lacks this file must not go on to be flashed over.
                showStatus("PC: can't write downloading file");
                log("PC: can't write downloading file");
                currentRowDownloadAll = -1;
            }
        }
    }

    if (mode.isEmpty() && currentRowDownloadAll >= 0)
        on_pushButton_DownloadAll_clicked();
}
