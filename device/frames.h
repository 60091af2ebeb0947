#ifndef FRAMES_H
#define FRAMES_H

// The receiver's byte protocol: every request starts with the frame tag and a
// command letter; numbers travel as unsigned big-endian values. Building and
// reading bytes only: writing them to the port is the connection's job.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The requests by the name that `mode` holds while their reply is awaited.
namespace Mode {
inline const QString Memory = QStringLiteral("MEMORY");
inline const QString List = QStringLiteral("LIST");
inline const QString Download = QStringLiteral("DOWNLOAD");
inline const QString Upload = QStringLiteral("UPLOAD");
inline const QString Remove = QStringLiteral("REMOVE");
inline const QString Erase = QStringLiteral("ERASE");
inline const QString Execute = QStringLiteral("EXECUTE");
inline const QString Reboot = QStringLiteral("REBOOT");
}

const QByteArray &frameTag();

// A received byte as the unsigned value 0 to 255.
int scti(char byte);

// The unsigned big-endian number in bytes pos to pos+3 of data, which must hold them.
quint32 bigEndianAt(const QByteArray &data, int pos);
QByteArray bigEndianField(quint32 value);

// "/" followed by the name, as the receiver addresses its files.
QString devicePath(const QString &name);

// The request named by a Mode value: the tag, its command letter, then the
// arguments. The letter comes from the name, so the two can't be mismatched.
QByteArray requestFrame(const QString &name, const QByteArray &arguments = QByteArray());
// A device path as a request argument: its length, then its UTF-8 bytes.
QByteArray pathArgument(const QString &path);
// The upload header's arguments: the path length, the file size, the path.
QByteArray uploadArguments(const QString &path, quint32 size);
// The frames that carry an upload's content, each answering a ready code.
QByteArray chunkFrame(const QByteArray &content);
QByteArray endFrame();

#endif
