#include "receiversim/romloader.h"

#include <QCryptographicHash>

#include <zlib.h>

namespace {
// The commands, as esptool's loader.py and the Serial Protocol document name them.
enum Command : quint8 {
    FlashBegin = 0x02,
    FlashData = 0x03,
    FlashEnd = 0x04,
    Sync = 0x08,
    WriteReg = 0x09,
    ReadReg = 0x0A,
    SpiSetParams = 0x0B,
    SpiAttach = 0x0D,
    ChangeBaudrate = 0x0F,
    FlashDeflBegin = 0x10,
    FlashDeflData = 0x11,
    FlashDeflEnd = 0x12,
    SpiFlashMd5 = 0x13,
};

// The ROM's error codes, sent behind a status byte of 1.
enum Error : quint8 {
    Success = 0x00,
    InvalidMessage = 0x05,      // parameters or length field invalid
    FailedToAct = 0x06,
    InvalidCrc = 0x07,
    ReadLengthError = 0x0A,     // a read reaching past the flash
    DeflateError = 0x0B,
};

constexpr quint8 requestDirection = 0x00;
constexpr quint8 responseDirection = 0x01;
constexpr int headerSize = 8;           // direction, command, size (16 bits), checksum or value (32 bits)
constexpr int dataHeaderSize = 16;      // a block's size, sequence number and two zero words
constexpr quint32 sectorSize = 0x1000;  // the flash's unit of erase
constexpr quint8 checksumSeed = 0xEF;
// Any value but 0 tells esptool it talks to the ROM (esptool's stub answers
// 0); this is the SYNC's own first word.
constexpr quint32 syncValue = 0x20120707;
constexpr int syncAnswers = 8;          // esptool reads the seven after the first without asking again

const QByteArray syncPayload = QByteArray::fromHex("07071220") + QByteArray(32, 0x55);

quint32 littleEndianAt(const QByteArray &data, int pos)
{
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | quint8(data.at(pos + i));
    return value;
}

QByteArray littleEndian(quint32 value, int bytes)
{
    QByteArray field(bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        field[i] = char(value >> (8 * i));
    return field;
}

QByteArray response(quint8 command, quint32 value, const QByteArray &body, Error error = Success)
{
    // The ROM's four status bytes: failed or not, the error, two reserved.
    const QByteArray data = body + char(error == Success ? 0 : 1) + char(error) + QByteArray(2, '\0');
    QByteArray packet;
    packet += char(responseDirection);
    packet += char(command);
    packet += littleEndian(quint32(data.size()), 2);
    packet += littleEndian(value, 4);
    return SlipDecoder::encode(packet + data);
}

quint8 checksum(const QByteArray &block)
{
    quint8 state = checksumSeed;
    for (const char c : block)
        state ^= quint8(c);
    return state;
}
}

RomLoader::RomLoader(QByteArray &flash, const RomLoaderFaults &faults, EraseListener erased)
    : flash(flash), faults(faults), erased(std::move(erased))
{
}

RomLoader::~RomLoader()
{
    if (inflater)
        inflateEnd(inflater.get());
}

// What a revision 3 ESP32 prints when it starts with IO0 low.
QByteArray RomLoader::bootText()
{
    return "ets Jul 29 2019 12:21:46\r\n\r\n"
           "rst:0x1 (POWERON_RESET),boot:0x3 (DOWNLOAD_BOOT(UART0/UART1/SDIO_REI_REO_V2))\r\n"
           "waiting for download\r\n";
}

bool RomLoader::leaving() const { return left; }

QByteArray RomLoader::take(const QByteArray &bytes)
{
    QByteArray out;
    for (const QByteArray &frame : slip.take(bytes)) {
        if (left || silent)
            break;
        if (frame.size() < headerSize || quint8(frame.at(0)) != requestDirection)
            continue;
        const quint8 command = quint8(frame.at(1));
        const QByteArray data = frame.mid(headerSize);
        const int size = quint8(frame.at(2)) | quint8(frame.at(3)) << 8;
        if (size != data.size()) {
            out += response(command, 0, {}, InvalidMessage);
            continue;
        }
        out += answer(command, data, littleEndianAt(frame, 4));
    }
    return out;
}

QByteArray RomLoader::answer(quint8 command, const QByteArray &data, quint32 sum)
{
    switch (command) {
    case Sync: {
        if (data != syncPayload)
            return response(command, 0, {}, InvalidMessage);
        QByteArray answers;
        for (int i = 0; i < syncAnswers; ++i)
            answers += response(command, syncValue, {});
        return answers;
    }
    case ReadReg:
        if (data.size() != 4)
            return response(command, 0, {}, InvalidMessage);
        return response(command, registers.read(littleEndianAt(data, 0)), {});
    case WriteReg:
        // Address, value, mask and a delay, once or more.
        if (data.isEmpty() || data.size() % 16 != 0)
            return response(command, 0, {}, InvalidMessage);
        for (int pos = 0; pos < data.size(); pos += 16)
            registers.write(littleEndianAt(data, pos), littleEndianAt(data, pos + 4), littleEndianAt(data, pos + 8));
        return response(command, 0, {});
    case SpiSetParams:
        // The flash chip's geometry; this one is 4 MB whatever it is told.
        return response(command, 0, {}, data.size() == 24 ? Success : InvalidMessage);
    case SpiAttach:
        // The pins of the flash chip and the ROM's extra word.
        return response(command, 0, {}, data.size() == 8 ? Success : InvalidMessage);
    case ChangeBaudrate:
        // A pseudo-terminal carries any speed: the new rate changes nothing.
        return response(command, 0, {}, data.size() == 8 ? Success : InvalidMessage);
    case FlashBegin:
    case FlashDeflBegin:
        return beginWrite(command, data);
    case FlashData:
    case FlashDeflData:
        return writeBlock(command, data, sum);
    case FlashEnd:
    case FlashDeflEnd:
        // 0 reboots, 1 runs the firmware: either way the firmware starts.
        if (data.size() != 4)
            return response(command, 0, {}, InvalidMessage);
        left = true;
        return response(command, 0, {});
    case SpiFlashMd5:
        return md5(command, data);
    default:
        return response(command, 0, {}, InvalidMessage);
    }
}

// Size to erase, number of blocks, block size, offset. The ROM erases it
// all here, whole sectors, before any block comes.
QByteArray RomLoader::beginWrite(quint8 command, const QByteArray &data)
{
    if (data.size() < 16)
        return response(command, 0, {}, InvalidMessage);
    const quint32 size = littleEndianAt(data, 0);
    const quint32 blocks = littleEndianAt(data, 4);
    const quint32 blockSize = littleEndianAt(data, 8);
    const quint32 offset = littleEndianAt(data, 12);
    if (blocks > 0 && blockSize == 0)
        return response(command, 0, {}, InvalidMessage);
    if (quint64(offset) + size > quint64(flash.size()))
        return response(command, 0, {}, FailedToAct);
    erase(offset, size);
    write.mode = command == FlashDeflBegin ? Writing::Deflated : Writing::Plain;
    write.offset = offset;
    write.size = size;
    write.blocks = blocks;
    write.blockSize = blockSize;
    write.nextSeq = 0;
    write.produced = 0;
    if (write.mode == Writing::Deflated) {
        if (inflater)
            inflateEnd(inflater.get());
        inflater = std::make_unique<z_stream_s>();
        inflateInit(inflater.get());
    }
    return response(command, 0, {});
}

// A block's size, its sequence number, two zero words, then the block, whose
// checksum is in the header. A block that fails a check is not written and
// may come again with the same number.
QByteArray RomLoader::writeBlock(quint8 command, const QByteArray &data, quint32 sum)
{
    const Writing mode = command == FlashDeflData ? Writing::Deflated : Writing::Plain;
    if (write.mode != mode)
        return response(command, 0, {}, FailedToAct);
    if (data.size() < dataHeaderSize)
        return response(command, 0, {}, InvalidMessage);
    const quint32 length = littleEndianAt(data, 0);
    const quint32 seq = littleEndianAt(data, 4);
    const QByteArray block = data.mid(dataHeaderSize);
    if (length != quint32(block.size()) || length > write.blockSize)
        return response(command, 0, {}, InvalidMessage);
    if (sum != checksum(block))
        return response(command, 0, {}, InvalidCrc);
    if (seq != write.nextSeq || seq >= write.blocks)
        return response(command, 0, {}, InvalidMessage);
    if (faults.stopHalfway && write.blocks >= 2 && seq == write.blocks / 2) {
        silent = true;
        return {};
    }
    if (mode == Writing::Plain)
        program(write.offset + seq * write.blockSize, block.constData(), block.size());
    else if (!inflateBlock(block))
        return response(command, 0, {}, DeflateError);
    ++write.nextSeq;
    return response(command, 0, {});
}

// Inflates one piece of the compressed stream into the flash behind what the
// pieces before it gave; false when the stream is broken or gives more than
// was erased for it.
bool RomLoader::inflateBlock(const QByteArray &block)
{
    z_stream_s &stream = *inflater;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(block.constData()));
    stream.avail_in = uInt(block.size());
    char out[4096];
    for (;;) {
        stream.next_out = reinterpret_cast<Bytef *>(out);
        stream.avail_out = sizeof out;
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
            return false;
        const int produced = int(sizeof out - stream.avail_out);
        if (write.produced + quint32(produced) > write.size)
            return false;
        program(write.offset + write.produced, out, produced);
        write.produced += quint32(produced);
        // Done with this piece once it is all taken and nothing more is held back.
        if (status != Z_OK || (stream.avail_in == 0 && stream.avail_out > 0))
            return true;
    }
}

// Address, size, two zero words; answered with the MD5 in 32 hexadecimal digits.
QByteArray RomLoader::md5(quint8 command, const QByteArray &data)
{
    if (data.size() != 16)
        return response(command, 0, {}, InvalidMessage);
    const quint32 address = littleEndianAt(data, 0);
    const quint32 size = littleEndianAt(data, 4);
    if (quint64(address) + size > quint64(flash.size()))
        return response(command, 0, {}, ReadLengthError);
    QByteArray region = flash.mid(int(address), int(size));
    if (faults.wrongMd5 && !region.isEmpty())
        region[0] = char(region.at(0) ^ 0x01);
    return response(command, 0, QCryptographicHash::hash(region, QCryptographicHash::Md5).toHex());
}

void RomLoader::erase(quint32 offset, quint32 size)
{
    if (size == 0)
        return;
    const quint32 start = offset / sectorSize * sectorSize;
    const quint32 end = qMin(quint32(flash.size()), (offset + size + sectorSize - 1) / sectorSize * sectorSize);
    erased(start, end - start);
    std::fill(flash.begin() + start, flash.begin() + end, char(0xFF));
}

// NOR flash: programming only clears bits, so a block written over an
// unerased place leaves the bits that were already clear. A block padded past
// the flash's end loses what lies beyond it.
void RomLoader::program(quint32 address, const char *bytes, int size)
{
    char *cells = flash.data();
    for (int i = 0; i < size && address + quint32(i) < quint32(flash.size()); ++i)
        cells[address + quint32(i)] &= bytes[i];
}
