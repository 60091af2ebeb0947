#include "storage/upload.h"
#include "app/mainwindow.h"
#include "app/session.h"
#include "device/connection.h"
#include "device/frames.h"
#include "device/replies.h"
#include "storage/filenames.h"
#include "ui_mainwindow.h"

#include <QFileDialog>

void rightWrite()
{
    writeBytesLength = dataBytes.size() - safety.uploadOffset;
    if (writeBytesLength != 0) {
        const int k = qMin(writeBytesLength, sizeOfPiece);
        sendRequest(chunkFrame(QByteArray::fromRawData(dataBytes.constData() + safety.uploadOffset, k)));
        safety.uploadOffset += k;
    } else {
        sendRequest(endFrame());
    }
}

int uploadPercent(int bytesLeft, int fileSize)
{
    if (fileSize == 0)
        return 100;
    return 100 - int(qint64(bytesLeft) * 100 / fileSize);
}

void MainWindow::on_pushButton_2_clicked()
{
    if (!linkIsIdle("device is busy now: " + mode))
        return;

    const bool batch = !nextFileNameUpload.isEmpty();
    QString source;
    if (batch) {
        log(nextFileNameUpload);
        source = batchUploadSource(nextFileNameUpload);
    } else {
        source = QFileDialog::getOpenFileName(nullptr);
    }
    if (source.isEmpty()) {
        showStatus("ESP32: empty uploading path");
        return;
    }
    if (!QFile::exists(source)) {
        showStatus("file no exist: " + source);
        log("...skipped");
        if (batch)
            on_pushButton_UploadAll_clicked();
        return;
    }

    const QString name = cleanedUploadName(source);
    if (isIncorrectUploadName(name)) {
        refuse(QMessageBox::Critical, "incorrect file name");
        return;
    }
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly)) {
        showStatus("PC: can't open uploading file");
        return;
    }
    // A refused file stops a batch: its listing, which would send the next, never comes.
    startUpload(name, input.readAll());
}

// Sends the upload header for a file after the check of the free space; the
// refusal in words when it was refused.
QString MainWindow::startUpload(const QString &name, const QByteArray &content)
{
    if (quint32(content.size()) >= quint32(totalMemory - usedMemory)) {
        refuse(QMessageBox::Warning, "ESP32: not enough free space");
        return "ESP32: not enough free space";
    }
    dataBytes = content;
    safety.uploadOffset = 0;
    sizeOfFile = dataBytes.size();
    showStatus("uploading...");
    startRequest(Mode::Upload, uploadArguments(devicePath(name), quint32(sizeOfFile)));
    return QString();
}

void MainWindow::handleUploadReply()
{
    switch (decodeUploadReply(recived)) {
    case UploadReply::NeedMore:
        break;
    case UploadReply::Ready:
        rightWrite();
        showStatus("uploaded " + QString::number(uploadPercent(writeBytesLength, sizeOfFile)) + "%");
        break;
    case UploadReply::Complete:
        endUpload("uploading complete");
        break;
    case UploadReply::Stopped:
        endUpload("uploading stoped");
        break;
    case UploadReply::Restarted:
        showStatus("ESP32: restarted");
        sizeOfFile = 0;
        mode.clear();
        receiverRestarted();
        break;
    }
}

// Either end of an upload is followed by a listing: the storage figures and
// the file table show what the receiver holds now.
void MainWindow::endUpload(const QString &message)
{
    showStatus(message);
    sizeOfFile = 0;
    mode.clear();
    uploadEnded();
}
