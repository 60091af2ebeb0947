#ifndef REPLIES_H
#define REPLIES_H

// Reading the receiver's replies. Each decoder takes the receive buffer as it
// stands after an arrival, with the counters of its exchange, consumes what it
// has read and says what the reply means. They touch no port, widget, file or
// global: the window applies what they decide.

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

// MEMORY: the capacity and the bytes in use, from the first eight bytes that
// can describe a file system: a capacity above 0 and below 256 MiB (which
// printable text never gives), and no more bytes in use than that. Boot text
// or an earlier reply in front of them is dropped, and anything behind them
// once they are taken. Until then the last seven bytes, which may begin the
// reply, are kept.
struct MemoryReply
{
    bool complete = false;
    quint32 total = 0;
    quint32 used = 0;
};
MemoryReply decodeMemoryReply(QByteArray &buffer);

struct ListEntry
{
    QString name;
    quint32 size = 0;
};

// The entries of a LIST body, in order; names are read as UTF-8. An entry
// whose header or name runs past the body ends the list, and the body is
// then not whole: nothing outside it is read.
struct ListBody
{
    QVector<ListEntry> entries;
    bool whole = true;
};
ListBody parseListBody(const QByteArray &body);

// LIST: the header (bodyLength takes N; 0 while no header is taken), then
// the body once N bytes are held. A body is whole when it parses into whole
// entries exactly and no byte came beyond it.
struct ListReply
{
    bool headerTaken = false;       // the header came in this arrival: the old list is gone
    bool complete = false;          // the listing is over; entries holds it
    bool whole = true;
    QVector<ListEntry> entries;
};
ListReply decodeListReply(QByteArray &buffer, quint32 &bodyLength);

// Largest file size the transfers can hold (it must fit an int).
constexpr quint32 largestFileSize = 0x7FFFFFFF;

// DOWNLOAD: "d", or the size header and the content. fileSize is 0 until the
// size is taken. A size other than expectedSize (the listed one) answers some
// other request and is refused, as is one too large to hold, and content
// with more bytes behind it than announced (Overrun): the reply can't be told
// from what came with it.
struct DownloadReply
{
    enum Kind { NeedMore, Prepare, Refused, TooLarge, SizeDiffers, Empty, Progress, Complete, Overrun };
    Kind kind = NeedMore;
    int percent = 0;                // Progress
    QByteArray content;             // Complete: exactly the announced bytes
};
DownloadReply decodeDownloadReply(QByteArray &buffer, int &fileSize, quint32 expectedSize);

// UPLOAD: a ready code asks for the next frame; "u" and "a" end the upload.
// Bytes that are none of these codes, line noise say, are dropped.
enum class UploadReply { NeedMore, Ready, Complete, Stopped };
UploadReply decodeUploadReply(QByteArray &buffer);

// The one-byte replies of REMOVE, ERASE and EXECUTE.
enum class CommandReply {
    Waiting,                        // not one byte: nothing read, the bytes stay
    Accepted,                       // "R", "E" or "X"
    Refused,                        // "r" or "x"
    Ignored,                        // read and dropped: a byte that means nothing here
};
CommandReply decodeRemoveReply(QByteArray &buffer);
CommandReply decodeEraseReply(QByteArray &buffer);
// Any arrival ends an EXECUTE: the buffer is always emptied.
CommandReply decodeExecuteReply(QByteArray &buffer);

#endif
