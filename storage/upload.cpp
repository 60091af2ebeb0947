#include "storage/upload.h"
#include "app/session.h"
#include "device/frames.h"
#include "device/receiverlink.h"

#include <QFile>

int uploadPercent(int bytesLeft, int fileSize)
{
    if (fileSize == 0)
        return 100;
    return 100 - int(qint64(bytesLeft) * 100 / fileSize);
}

bool fitsInFreeSpace(qint64 size, quint32 total, quint32 used)
{
    return quint32(size) < quint32(total - used);
}

QString notEnoughSpaceWords()
{
    return "ESP32: not enough free space";
}

UploadSource readUploadSource(const QString &path)
{
    UploadSource source;
    QFile input(path);
    if (!input.exists()) {
        source.missing = true;
        source.problem = "file no exist: " + path;
    } else if (!input.open(QIODevice::ReadOnly)) {
        source.problem = "PC: can't open uploading file";
    } else {
        source.content = input.readAll();
    }
    return source;
}

FileUpload::FileUpload(ReceiverLink *link, QObject *parent)
    : QObject(parent)
    , link(link)
{
    connect(link, &ReceiverLink::readyForChunk, this, [this] {
        if (!pending)
            return;
        rightWrite();
        emit status("uploaded " + QString::number(uploadPercent(writeBytesLength, sizeOfFile)) + "%");
    });
    connect(link, &ReceiverLink::uploadEnded, this, [this](UploadReply outcome) {
        if (!std::exchange(pending, false))
            return;
        sizeOfFile = 0;
        emit ended(outcome);
    });
    connect(link, &ReceiverLink::dropped, this, [this] { pending = false; });
}

void FileUpload::send(const QString &name, const QByteArray &content)
{
    dataBytes = content;
    uploadOffset = 0;
    sizeOfFile = dataBytes.size();
    emit status("uploading...");
    pending = true;
    link->startUpload(name, quint32(sizeOfFile));
}

void FileUpload::rightWrite()
{
    writeBytesLength = dataBytes.size() - uploadOffset;
    if (writeBytesLength != 0) {
        const int k = qMin(writeBytesLength, sizeOfPiece);
        link->writeFrame(chunkFrame(QByteArray::fromRawData(dataBytes.constData() + uploadOffset, k)));
        uploadOffset += k;
    } else {
        link->writeFrame(endFrame());
    }
}
