#include "frames.h"

#include <QIODevice>

const QByteArray &frameTag()
{
    static const QByteArray tag("K-Marigold______");
    return tag;
}

int scti(char byte)
{
    const int value = byte;
    return value < 0 ? value + 256 : value;
}

quint32 bigEndianAt(const QByteArray &data, int pos)
{
    return quint32(scti(data.at(pos))) << 24 | quint32(scti(data.at(pos + 1))) << 16
         | quint32(scti(data.at(pos + 2))) << 8 | quint32(scti(data.at(pos + 3)));
}

QByteArray bigEndianField(quint32 value)
{
    QByteArray field(4, '\0');
    field[0] = char(value >> 24);
    field[1] = char(value >> 16);
    field[2] = char(value >> 8);
    field[3] = char(value);
    return field;
}

QString devicePath(const QString &name)
{
    return "/" + name;
}

void writeRequest(QIODevice &device, char command, const QByteArray &argument)
{
    device.write(frameTag());
    device.write(&command, 1);
    if (!argument.isEmpty())
        device.write(argument);
}

void writePathRequest(QIODevice &device, char command, const QString &path)
{
    const QByteArray bytes = path.toUtf8();
    writeRequest(device, command, bigEndianField(quint32(bytes.size())));
    device.write(bytes);
}

void writeUploadHeader(QIODevice &device, const QString &path, quint32 size)
{
    const QByteArray bytes = path.toUtf8();
    writeRequest(device, Command::Upload, bigEndianField(quint32(bytes.size())));
    device.write(bigEndianField(size));
    device.write(bytes);
}
