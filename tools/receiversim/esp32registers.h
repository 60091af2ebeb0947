#ifndef ESP32REGISTERS_H
#define ESP32REGISTERS_H

// The registers esptool reads through an ESP32's ROM loader to know the chip,
// holding what an ESP32-D0WD-V3 of revision v3.0 holds, and the SPI
// peripheral's user command, through which it asks the flash chip for its id.
// Any other address reads as what was last written there, or 0.

#include <QHash>
#include <QtGlobal>

class Esp32Registers
{
public:
    Esp32Registers();
    quint32 read(quint32 address) const;
    // Changes the bits of the mask, as the ROM's WRITE_REG does.
    void write(quint32 address, quint32 value, quint32 mask = 0xFFFFFFFF);

private:
    void runSpiUserCommand();

    QHash<quint32, quint32> values;
};

#endif
