#ifndef ROMLOADER_H
#define ROMLOADER_H

// An ESP32's ROM loader, the "download mode" a reset with IO0 held low
// starts, as esptool talks to it with --no-stub: commands in SLIP frames,
// each answered with the ROM's four status bytes. It erases at FLASH_BEGIN
// and FLASH_DEFL_BEGIN, as the ROM does, and then programs the flash image
// it is given as NOR flash takes a write (bits only clear). Bytes in, bytes
// out: the simulator moves them. Commands it doesn't know, among them the
// RAM download that would upload esptool's stub, are refused as invalid.

#include "receiversim/esp32registers.h"
#include "receiversim/slip.h"

#include <QByteArray>

#include <functional>
#include <memory>

struct z_stream_s;

struct RomLoaderFaults
{
    bool stopHalfway = false;   // falls silent, until the next reset, once half a write's blocks came
    bool wrongMd5 = false;      // SPI_FLASH_MD5 reads one byte of the flash wrong
};

class RomLoader
{
public:
    // Told of each region erased, before anything is written into it.
    using EraseListener = std::function<void(quint32 offset, quint32 size)>;

    RomLoader(QByteArray &flash, const RomLoaderFaults &faults, EraseListener erased);
    ~RomLoader();

    // What the ROM prints as it starts in download mode.
    static QByteArray bootText();

    // Takes bytes from the host; returns what the loader sends back.
    QByteArray take(const QByteArray &bytes);
    // True once the host told it to leave (FLASH_END, FLASH_DEFL_END) and
    // the firmware is to start.
    bool leaving() const;

private:
    enum class Writing { Nothing, Plain, Deflated };
    QByteArray answer(quint8 command, const QByteArray &data, quint32 checksum);
    QByteArray beginWrite(quint8 command, const QByteArray &data);
    QByteArray writeBlock(quint8 command, const QByteArray &data, quint32 checksum);
    bool inflateBlock(const QByteArray &block);
    QByteArray md5(quint8 command, const QByteArray &data);
    void erase(quint32 offset, quint32 size);
    void program(quint32 address, const char *bytes, int size);

    QByteArray &flash;
    const RomLoaderFaults faults;
    EraseListener erased;
    SlipDecoder slip;
    Esp32Registers registers;
    bool left = false;
    bool silent = false;

    // The write under way since the last FLASH_BEGIN or FLASH_DEFL_BEGIN.
    struct
    {
        Writing mode = Writing::Nothing;
        quint32 offset = 0;
        quint32 size = 0;       // erased, and so the most a compressed write may produce
        quint32 blocks = 0;
        quint32 blockSize = 0;
        quint32 nextSeq = 0;
        quint32 produced = 0;   // bytes a compressed write has inflated so far
    } write;
    std::unique_ptr<z_stream_s> inflater;
};

#endif
