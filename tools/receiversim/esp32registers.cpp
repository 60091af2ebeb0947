#include "receiversim/esp32registers.h"

namespace {
constexpr quint32 chipMagicAddress = 0x40001000;
constexpr quint32 efuseBase = 0x3FF5A000;         // EFUSE_BLK0_RDATA0_REG, one word each after it
constexpr quint32 apbDateAddress = 0x3FF6607C;    // APB_CTRL_DATE_REG
constexpr quint32 uartClockDivider = 0x3FF40014;  // UART_CLKDIV_REG
constexpr quint32 rtcCalibration = 0x3FF5F06C;    // RTCCALICFG1
constexpr quint32 spiBase = 0x3FF42000;           // SPI1, wired to the flash chip
constexpr quint32 spiCommand = spiBase + 0x00;
constexpr quint32 spiUser2 = spiBase + 0x24;
constexpr quint32 spiData0 = spiBase + 0x80;
constexpr quint32 spiUserCommandBit = 1 << 18;

// The flash chip's answers to the commands esptool sends through the user command.
constexpr quint8 readJedecId = 0x9F;
// A GigaDevice GD25Q32 (4 MB): maker C8, type 40, capacity 16, first byte lowest.
constexpr quint32 jedecId = 0x1640C8;
}

Esp32Registers::Esp32Registers()
{
    values = {
        { chipMagicAddress, 0x00F01D83 },            // an ESP32
        // eFuse block 0. Word 1 and the low half of word 2 hold the MAC
        // a4:cf:12:6b:3d:58 and bits 16-23 of word 2 its CRC-8.
        { efuseBase + 4 * 0, 0x00000000 },           // no flash encryption
        { efuseBase + 4 * 1, 0x126B3D58 },
        { efuseBase + 4 * 2, 0x002BA4CF },
        // Package 1 (D0WD), revision bit 1 (bit 15), rated for 240 MHz (bit 13), both cores, Bluetooth.
        { efuseBase + 4 * 3, 0x0000A200 },
        // The 8 MHz clock's calibration (0x36) and an ADC reference voltage.
        { efuseBase + 4 * 4, 0x00000236 },
        // Revision bit 2 (bit 20), minor revision 0.
        { efuseBase + 4 * 5, 0x00100000 },
        // No secure boot, no coding scheme.
        { efuseBase + 4 * 6, 0x00000000 },
        // Bit 31, the last of the revision bits, set on revision 3 silicon.
        { apbDateAddress, 0x96042000 },
        // 40 MHz over 115200 baud, as the ROM measured the host's speed.
        { uartClockDivider, 347 },
        // The 8 MHz clock measured against a 40 MHz crystal, as esptool reads it back.
        { rtcCalibration, 1896 << 7 },
    };
}

quint32 Esp32Registers::read(quint32 address) const
{
    return values.value(address, 0);
}

void Esp32Registers::write(quint32 address, quint32 value, quint32 mask)
{
    values[address] = (values.value(address, 0) & ~mask) | (value & mask);
    if (address == spiCommand && (values[address] & spiUserCommandBit))
        runSpiUserCommand();
}

// The command byte is in the low bits of SPI_USER2; the answer goes into the
// first data word and the command bit clears when it is done, at once here.
// Any command but the id's reads as 0, as an idle status register does.
void Esp32Registers::runSpiUserCommand()
{
    const quint8 command = quint8(read(spiUser2));
    values[spiData0] = command == readJedecId ? jedecId : 0;
    values[spiCommand] &= ~spiUserCommandBit;
}
