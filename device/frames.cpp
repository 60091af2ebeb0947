#include "device/frames.h"

#include <QHash>

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

QByteArray requestFrame(const QString &name, const QByteArray &arguments)
{
    static const QHash<QString, char> letters = {
        { Mode::Memory, 'M' }, { Mode::List, 'L' }, { Mode::Download, 'D' }, { Mode::Upload, 'U' },
        { Mode::Remove, 'R' }, { Mode::Erase, 'E' }, { Mode::Execute, 'X' }, { Mode::Reboot, 'Q' },
    };
    Q_ASSERT(letters.contains(name));
    return frameTag() + letters.value(name) + arguments;
}

QByteArray pathArgument(const QString &path)
{
    const QByteArray bytes = path.toUtf8();
    return bigEndianField(quint32(bytes.size())) + bytes;
}

QByteArray uploadArguments(const QString &path, quint32 size)
{
    const QByteArray bytes = path.toUtf8();
    return bigEndianField(quint32(bytes.size())) + bigEndianField(size) + bytes;
}

QByteArray chunkFrame(const QByteArray &content)
{
    return frameTag() + 'U' + char(content.size()) + content;
}

QByteArray endFrame()
{
    return frameTag() + 'u';
}
