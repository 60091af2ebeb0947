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

BootText bootTextAt(const QByteArray &bytes, int from)
{
    int pos = from;
    while (pos < bytes.size() && QByteArrayLiteral("\0\r\n\xff").contains(bytes.at(pos)))
        ++pos;
    const QByteArray text = bytes.mid(pos, 8);
    // "ets " and a month's name, "rst:0x", "ESP-ROM:": what a restart prints first.
    static const QByteArray patterns[] = { "ets Aaa ", "rst:0x", "ESP-ROM:" };
    for (const QByteArray &pattern : patterns) {
        bool fits = true;
        for (int i = 0; i < pattern.size() && i < text.size() && fits; ++i) {
            const char want = pattern.at(i);
            const char got = text.at(i);
            fits = want == 'A' ? (got >= 'A' && got <= 'Z') : want == 'a' ? (got >= 'a' && got <= 'z') : got == want;
        }
        if (fits)
            return text.size() >= pattern.size() ? BootText::Yes : BootText::Maybe;
    }
    return BootText::No;
}

bool containsBootText(const QByteArray &bytes)
{
    for (int pos = 0; pos < bytes.size(); ++pos) {
        if (bootTextAt(bytes, pos) == BootText::Yes)
            return true;
    }
    return false;
}

MemoryReply decodeMemoryReply(QByteArray &buffer)
{
    constexpr quint32 largestCapacity = 16u << 20;
    constexpr int replySize = 8;
    MemoryReply reply;
    if (buffer.size() < replySize)
        return reply;
    if (buffer.size() == replySize) {
        const quint32 total = bigEndianAt(buffer, 0);
        const quint32 used = bigEndianAt(buffer, 4);
        if (total > 0 && total <= largestCapacity && used <= total) {
            buffer.clear();
            reply.complete = true;
            reply.total = total;
            reply.used = used;
            return reply;
        }
    }
    // Kept longer than a reply, so that no later byte makes one of it.
    buffer = buffer.right(replySize + 1);
    reply.noise = true;
    return reply;
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

QString downloadReplyWords(DownloadReply::Kind kind)
{
    switch (kind) {
    case DownloadReply::Refused:
        return "ESP32: can't open the file";
    case DownloadReply::TooLarge:
        return "ESP32: file too large";
    case DownloadReply::SizeDiffers:
        return "ESP32: file size differs from the list";
    case DownloadReply::Overrun:
        return "ESP32: reply longer than the file";
    case DownloadReply::Empty:
        return "file empty";
    case DownloadReply::Restarted:
        return "ESP32: restarted";
    case DownloadReply::Complete:
        return "downloaded 100%";
    default:
        return QString();
    }
}

DownloadReply decodeDownloadReply(QByteArray &buffer, int &fileSize, quint32 expectedSize, int *resumedAt)
{
    DownloadReply reply;
    int noStall = -1;
    int &resumed = resumedAt ? *resumedAt : noStall;
    auto restarted = [&buffer, &fileSize, &reply] {
        buffer.clear();
        fileSize = 0;
        reply.kind = DownloadReply::Restarted;
        return reply;
    };
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
            switch (bootTextAt(buffer)) {
            case BootText::Yes:
                return restarted();
            case BootText::Maybe:
                return reply;
            case BootText::No:
                break;
            }
            buffer.clear();
            reply.kind = announced > largestFileSize ? DownloadReply::TooLarge : DownloadReply::SizeDiffers;
            return reply;
        }
        buffer.remove(0, 4);
        resumed = resumed >= 4 ? resumed - 4 : -1;
        if (announced == 0) {
            buffer.clear();
            reply.kind = DownloadReply::Empty;
            return reply;
        }
        fileSize = int(announced);
    }

    if (resumed >= 0 && resumed < buffer.size()) {
        switch (bootTextAt(buffer, resumed)) {
        case BootText::Yes:
            resumed = -1;
            return restarted();
        case BootText::Maybe:
            return reply;
        case BootText::No:
            resumed = -1;
            break;
        }
    }
    // Content that came with the size counts at once.
    reply.percent = int(qint64(buffer.size()) * 100 / fileSize);
    if (reply.percent < 100) {
        reply.kind = DownloadReply::Progress;
        return reply;
    }
    if (buffer.size() > fileSize) {
        reply.kind = bytesBehindContent(buffer, fileSize);
        if (reply.kind == DownloadReply::NeedMore)
            return reply;
        buffer.clear();
        fileSize = 0;
        return reply;
    }
    reply.kind = DownloadReply::Complete;
    reply.content = buffer;
    buffer.clear();
    fileSize = 0;
    return reply;
}

DownloadReply::Kind bytesBehindContent(const QByteArray &bytes, int contentSize)
{
    const BootText behind = bootTextAt(bytes, contentSize);
    if (behind == BootText::Maybe)
        return DownloadReply::NeedMore;
    return behind == BootText::Yes || containsBootText(bytes) ? DownloadReply::Restarted : DownloadReply::Overrun;
}

UploadReply decodeUploadReply(QByteArray &buffer)
{
    int letters = 0;
    char code = 0;
    for (const char byte : qAsConst(buffer)) {
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9')) {
            ++letters;
            code = byte;
        }
    }
    if (letters == 1 && (code == 'A' || code == 'u' || code == 'a')) {
        buffer.clear();
        return code == 'A' ? UploadReply::Ready : code == 'u' ? UploadReply::Complete : UploadReply::Stopped;
    }
    if (containsBootText(buffer)) {
        buffer.clear();
        return UploadReply::Restarted;
    }
    if (letters == 0)
        buffer.clear();
    else
        buffer = buffer.right(32);
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
