// libFuzzer target: arbitrary bytes, cut into arbitrary pieces, straight into
// the reply decoders, with no window or port in the way.
//
// Input: byte 0 picks the decoder, bytes 1 to 4 the listed size of a
// download, the rest is a run of pieces, each a length byte and that many
// bytes. Checked after every arrival: a decoder never grows the buffer, a
// completed download holds exactly the announced bytes, a completed listing
// leaves no body length behind and no entry it didn't read.

#include "device/frames.h"
#include "device/replies.h"

#include <cstdio>
#include <cstdlib>

namespace {
[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

void arrive(int decoder, QByteArray &buffer, quint32 &bodyLength, int &fileSize, quint32 listed)
{
    const int before = buffer.size();
    switch (decoder) {
    case 0:
        if (decodeMemoryReply(buffer).complete && !buffer.isEmpty())
            fail("memory reply left bytes");
        break;
    case 1: {
        const quint32 announced = bodyLength;
        const ListReply reply = decodeListReply(buffer, bodyLength);
        if (reply.complete && (bodyLength != 0 || !buffer.isEmpty()))
            fail("listing left state behind");
        if (reply.complete && announced != 0 && quint32(reply.entries.size()) * 8 > announced)
            fail("more entries than the body holds");
        break;
    }
    case 2: {
        const int announced = fileSize;
        const DownloadReply reply = decodeDownloadReply(buffer, fileSize, listed);
        if (reply.kind == DownloadReply::Complete
            && (reply.content.size() != (announced ? announced : int(listed)) || fileSize != 0))
            fail("download content differs from its announced size");
        if (fileSize < 0)
            fail("negative file size");
        break;
    }
    case 3:
        decodeUploadReply(buffer);
        break;
    case 4:
        decodeRemoveReply(buffer);
        break;
    case 5:
        decodeEraseReply(buffer);
        break;
    default:
        decodeExecuteReply(buffer);
        break;
    }
    if (buffer.size() > before)
        fail("a decoder grew the buffer");
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 5)
        return 0;
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    const int decoder = quint8(input.at(0)) % 7;
    const quint32 listed = bigEndianAt(input, 1);
    QByteArray buffer;
    quint32 bodyLength = 0;
    int fileSize = 0;
    int pos = 5;
    while (pos < input.size()) {
        const int length = qMin(int(quint8(input.at(pos))) + 1, input.size() - pos - 1);
        buffer += input.mid(pos + 1, length);
        pos += 1 + length;
        arrive(decoder, buffer, bodyLength, fileSize, listed);
    }
    return 0;
}
