#ifndef SLIP_H
#define SLIP_H

// SLIP framing, as an ESP32's ROM loader and esptool use it: a frame starts
// and ends with 0xC0, and a 0xC0 or 0xDB inside it travels as 0xDB 0xDC or
// 0xDB 0xDD. Bytes between frames belong to none.

#include <QByteArray>
#include <QVector>

class SlipDecoder
{
public:
    // The frames these bytes complete, in order.
    QVector<QByteArray> take(const QByteArray &bytes);
    static QByteArray encode(const QByteArray &frame);

private:
    QByteArray frame;
    bool inFrame = false;
    bool escaped = false;
};

#endif
