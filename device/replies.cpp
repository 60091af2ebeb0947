#include "device/replies.h"
#include "device/frames.h"

namespace {
constexpr int entryHeaderSize = 8;

// A one-byte reply: the verdict for its code, or Ignored for any other byte;
// the byte is read. More or fewer bytes are left for the caller to judge.
CommandReply oneByteReply(QByteArray &buffer, char accepted, char refused)
{
    const char code = buffer.at(0);
    buffer.clear();
    if (code == accepted)
        return CommandReply::Accepted;
    if (refused && code == refused)
        return CommandReply::Refused;
    return CommandReply::Ignored;
}
}

MemoryReply decodeMemoryReply(QByteArray &buffer)
{
    constexpr quint32 largestCapacity = (256u << 20) - 1;
    constexpr int replySize = 8;
    for (int pos = 0; pos + replySize <= buffer.size(); ++pos) {
        const quint32 total = bigEndianAt(buffer, pos);
        const quint32 used = bigEndianAt(buffer, pos + 4);
        if (total > 0 && total <= largestCapacity && used <= total) {
            buffer.clear();
            return { true, total, used };
        }
    }
    if (buffer.size() >= replySize)
        buffer.remove(0, buffer.size() - (replySize - 1));
    return {};
}

ListBody parseListBody(const QByteArray &body)
{
    ListBody list;
    int pos = 0;
    while (pos < body.size()) {
        if (body.size() - pos < entryHeaderSize) {
            list.whole = false;
            break;
        }
        // Only the least significant byte of the name length counts.
        const int nameLength = scti(body.at(pos + 3));
        const quint32 size = bigEndianAt(body, pos + 4);
        pos += entryHeaderSize;
        if (body.size() - pos < nameLength) {
            list.whole = false;
            break;
        }
        // UTF-8, so that the name goes back in requests as the bytes it came as.
        list.entries.append({ QString::fromUtf8(body.constData() + pos, nameLength), size });
        pos += nameLength;
    }
    return list;
}

ListReply decodeListReply(QByteArray &buffer, quint32 &bodyLength)
{
    ListReply reply;
    if (bodyLength == 0) {
        if (buffer.size() < 4)
            return reply;
        reply.headerTaken = true;
        bodyLength = bigEndianAt(buffer, 0);
        if (bodyLength == 0) {
            reply.complete = true;
            reply.whole = buffer.size() == 4;
            buffer.clear();
            return reply;
        }
        buffer.remove(0, 4);
    }
    if (quint32(buffer.size()) < bodyLength)
        return reply;
    const ListBody body = parseListBody(buffer.left(int(bodyLength)));
    reply.complete = true;
    reply.entries = body.entries;
    reply.whole = body.whole && quint32(buffer.size()) == bodyLength;
    buffer.clear();
    bodyLength = 0;
    return reply;
}

DownloadReply decodeDownloadReply(QByteArray &buffer, int &fileSize, quint32 expectedSize)
{
    DownloadReply reply;
    if (fileSize == 0) {
        if (buffer.size() == 1) {
            if (buffer.at(0) != 'd') {
                reply.kind = DownloadReply::Prepare;
                return reply;
            }
            buffer.clear();
            reply.kind = DownloadReply::Refused;
            return reply;
        }
        if (buffer.size() < 4)
            return reply;
        const quint32 announced = bigEndianAt(buffer, 0);
        if (announced > largestFileSize || announced != expectedSize) {
            buffer.clear();
            reply.kind = announced > largestFileSize ? DownloadReply::TooLarge : DownloadReply::SizeDiffers;
            return reply;
        }
        buffer.remove(0, 4);
        if (announced == 0) {
            buffer.clear();
            reply.kind = DownloadReply::Empty;
            return reply;
        }
        fileSize = int(announced);
    }

    // Content that came with the size counts at once.
    reply.percent = int(qint64(buffer.size()) * 100 / fileSize);
    if (reply.percent < 100) {
        reply.kind = DownloadReply::Progress;
        return reply;
    }
    reply.kind = buffer.size() == fileSize ? DownloadReply::Complete : DownloadReply::Overrun;
    if (reply.kind == DownloadReply::Complete)
        reply.content = buffer;
    buffer.clear();
    fileSize = 0;
    return reply;
}

UploadReply decodeUploadReply(QByteArray &buffer)
{
    for (const char code : buffer) {
        const UploadReply reply = code == 'A' ? UploadReply::Ready
                                : code == 'u' ? UploadReply::Complete
                                : code == 'a' ? UploadReply::Stopped
                                              : UploadReply::NeedMore;
        if (reply != UploadReply::NeedMore) {
            buffer.clear();
            return reply;
        }
    }
    buffer.clear();
    return UploadReply::NeedMore;
}

CommandReply decodeRemoveReply(QByteArray &buffer)
{
    return buffer.size() == 1 ? oneByteReply(buffer, 'R', 'r') : CommandReply::Waiting;
}

CommandReply decodeEraseReply(QByteArray &buffer)
{
    return buffer.size() == 1 ? oneByteReply(buffer, 'E', 0) : CommandReply::Waiting;
}

CommandReply decodeExecuteReply(QByteArray &buffer)
{
    if (buffer.size() == 1)
        return oneByteReply(buffer, 'X', 'x');
    buffer.clear();
    return CommandReply::Ignored;
}
