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

// Whether bytes begin, past a reset's stray NUL, CR, LF or 0xff bytes, with
// what an ESP32's boot ROM prints first ("ets Jun  8 2016 ...", "rst:0x1",
// "ESP-ROM:esp32s3..."); Maybe while they are too few to tell.
enum class BootText { No, Maybe, Yes };
BootText bootTextAt(const QByteArray &bytes, int from = 0);
bool containsBootText(const QByteArray &bytes);

// MEMORY: the capacity and the bytes in use, when the exchange brought
// exactly eight bytes that can describe the receiver's file system: a
// capacity above 0 and up to 16 MiB, which its ESP32 addresses at most, and
// no more bytes in use than that. Anything else is noise: figures are never
// searched for in it, and it stays in the buffer so that nothing behind it
// completes a reply; only the answer to a request sent again counts.
struct MemoryReply
{
    bool complete = false;
    bool noise = false;
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

// The receiver's storage figures and file list, as one listing brought them.
struct ReceiverListing
{
    quint32 total = 0;
    quint32 used = 0;
    QVector<ListEntry> entries;
    bool whole = true;              // every entry read, nothing came beyond them
};

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
// from what came with it. Boot text where no reply byte is due means the
// receiver restarted: in place of the size, behind the announced content, or
// at *resumedAt, where bytes begin that came after the reply had stalled
// (kept in step with the buffer, and -1 once those bytes are judged); never
// inside content that merely holds its letters.
struct DownloadReply
{
    enum Kind { NeedMore, Prepare, Refused, TooLarge, SizeDiffers, Empty, Progress, Complete, Overrun, Restarted };
    Kind kind = NeedMore;
    int percent = 0;                // Progress
    QByteArray content;             // Complete: exactly the announced bytes
};
// The status bar's words for a reply that ends a download otherwise than in
// progress: what the receiver said, or why its reply is not taken.
QString downloadReplyWords(DownloadReply::Kind kind);
DownloadReply decodeDownloadReply(QByteArray &buffer, int &fileSize, quint32 expectedSize, int *resumedAt = nullptr);
// What bytes behind a whole reply's content mean (bytes holds the content,
// then them): Restarted when they are, or show, a restart's boot text, which
// may already have run into the content; NeedMore while they may begin it;
// else Overrun.
DownloadReply::Kind bytesBehindContent(const QByteArray &bytes, int contentSize);

// UPLOAD: a ready code asks for the next frame; "u" and "a" end the upload.
// A code counts when it is the only letter or digit that came: line noise
// beside it is dropped, but text is no reply (the "u" of "Jun" in boot text
// is no end of the upload). Text is held until it shows boot text, the
// receiver having restarted, or until the exchange's time runs out.
enum class UploadReply { NeedMore, Ready, Complete, Stopped, Restarted };
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
