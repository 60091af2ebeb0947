#ifndef UPLOAD_H
#define UPLOAD_H

#include "device/replies.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class ReceiverLink;

// Content bytes per chunk frame.
constexpr int sizeOfPiece = 32;

// Share of the content the receiver held before the latest frame was sent,
// given the bytes that were left then; 100 for an empty file.
int uploadPercent(int bytesLeft, int fileSize);

// Whether a file of this size goes into the free space the receiver's
// figures leave: only into more than it takes, a file as large as the free
// space is refused.
bool fitsInFreeSpace(qint64 size, quint32 total, quint32 used);
// The refusal's words, for the box and the log alike.
QString notEnoughSpaceWords();

// A PC file to be sent, read whole; or why it can't be, in the status bar's words.
struct UploadSource
{
    QByteArray content;
    bool missing = false;
    QString problem;                // empty when the content was read
};
UploadSource readUploadSource(const QString &path);

// A file sent to the receiver: the upload header, then a chunk frame for
// each ready code the receiver sends, then the end frame.
class FileUpload : public QObject
{
    Q_OBJECT

public:
    explicit FileUpload(ReceiverLink *link, QObject *parent = nullptr);
    void send(const QString &name, const QByteArray &content);

signals:
    void status(const QString &text);
    void ended(UploadReply outcome);        // Complete, Stopped or Restarted

private:
    void rightWrite();

    ReceiverLink *link;
    bool pending = false;           // this exchange sent: the replies are its own
    int uploadOffset = 0;           // bytes of dataBytes sent: a chunk moves it instead of moving the rest
};

#endif
