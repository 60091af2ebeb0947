#include "upload.h"
#include "filenames.h"
#include "frames.h"
#include "mainwindow.h"
#include "session.h"
#include "ui_mainwindow.h"

#include <QFileDialog>

namespace {
// Holds the file being uploaded, so that dataBytes can view the part not yet
// sent: taking a chunk then moves the view instead of moving every byte
// behind it, which made a large upload slow down with its own size.
QByteArray uploadContent;

void dropSentBytes(int count)
{
    const char *data = dataBytes.constData();
    const bool viewsContent = data >= uploadContent.constData()
                           && data + dataBytes.size() <= uploadContent.constData() + uploadContent.size();
    if (!viewsContent)
        uploadContent = dataBytes;
    dataBytes = QByteArray::fromRawData(uploadContent.constData() + (data - uploadContent.constData()) + count,
                                        dataBytes.size() - count);
}
}

void rightWrite()
{
    writeBytesLength = dataBytes.size();
    if (writeBytesLength != 0) {
        const int k = qMin(writeBytesLength, sizeOfPiece);
        sendRequest(chunkFrame(dataBytes.left(k)));
        dropSentBytes(k);
    } else {
        sendRequest(request(Command::UploadEnd));
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
    const QString path = devicePath(name);

    QFile input(source);
    if (!input.open(QIODevice::ReadOnly)) {
        showStatus("PC: can't open uploading file");
        return;
    }
    dataBytes = input.readAll();
    sizeOfFile = dataBytes.size();
    input.close();
    if (quint32(sizeOfFile) >= quint32(totalMemory - usedMemory)) {
        refuse(QMessageBox::Warning, "ESP32: not enough free space");
        return;
    }

    showStatus("uploading...");
    recived.clear();
    mode = "UPLOAD";
    sendRequest(uploadHeader(path, quint32(sizeOfFile)));
}

void MainWindow::handleUploadReply()
{
    if (recived.isEmpty())
        return;
    const char code = recived.at(0);
    if (code == 'A') {
        rightWrite();
        recived.clear();
        showStatus("uploaded " + QString::number(uploadPercent(writeBytesLength, sizeOfFile)) + "%");
    } else if (code == 'u' || code == 'a') {
        showStatus(code == 'u' ? "uploading complete" : "uploading stoped");
        recived.clear();
        sizeOfFile = 0;
        mode = "MEMORY";
        sendRequest(request(Command::Memory));
    }
}
