#include "installer/wirebytes.h"
#include "device/frames.h"
#include "storage/upload.h"

qint64 downloadWireBytes(const QString &name, qint64 size)
{
    return requestFrame(Mode::Download, pathArgument(devicePath(name))).size() + 4 + size;
}

qint64 uploadWireBytes(const QString &name, qint64 size)
{
    const qint64 chunks = (size + sizeOfPiece - 1) / sizeOfPiece;
    const qint64 header = requestFrame(Mode::Upload, uploadArguments(devicePath(name), quint32(size))).size();
    // Each frame answered by one byte; the chunks carry the content.
    return header + 1 + chunks * (chunkFrame(QByteArray()).size() + 1) + size + endFrame().size() + 1;
}

qint64 listingWireBytes(const ReceiverListing &listing, const QString &name)
{
    qint64 bytes = 2 * requestFrame(Mode::Memory).size() + 8 + 4 + 8 + name.toUtf8().size();
    for (const ListEntry &entry : listing.entries)
        bytes += 8 + entry.name.toUtf8().size();
    return bytes;
}
