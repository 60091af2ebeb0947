#include "frames.h"

#include "session.h"

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

QByteArray request(char command)
{
    return frameTag() + command;
}

QByteArray pathRequest(char command, const QString &path)
{
    const QByteArray bytes = path.toUtf8();
    return request(command) + bigEndianField(quint32(bytes.size())) + bytes;
}

QByteArray uploadHeader(const QString &path, quint32 size)
{
    const QByteArray bytes = path.toUtf8();
    return request(Command::Upload) + bigEndianField(quint32(bytes.size())) + bigEndianField(size) + bytes;
}

QByteArray chunkFrame(const QByteArray &content)
{
    return request(Command::Upload) + char(content.size()) + content;
}

void sendRequest(const QByteArray &request)
{
    serial.write(request);
    serial.flush();
}
