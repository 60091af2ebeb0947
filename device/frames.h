#ifndef FRAMES_H
#define FRAMES_H

// The receiver's byte protocol: every request starts with the frame tag and a
// command letter; numbers travel as unsigned big-endian values.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

const QByteArray &frameTag();

// A received byte as the unsigned value 0 to 255.
int scti(char byte);

// The unsigned big-endian number in bytes pos to pos+3 of data, which must hold them.
quint32 bigEndianAt(const QByteArray &data, int pos);
QByteArray bigEndianField(quint32 value);

// "/" followed by the name, as the receiver addresses its files.
QString devicePath(const QString &name);

// Requests: the tag, the command letter, then the arguments.
QByteArray request(char command);
QByteArray pathRequest(char command, const QString &path);
QByteArray uploadHeader(const QString &path, quint32 size);
QByteArray chunkFrame(const QByteArray &content);

// Writes a whole request to the receiver's port and hands it to the driver
// at once, instead of on the event loop's next pass: one exchange after
// another, that pass would otherwise add to every one of them.
void sendRequest(const QByteArray &request);

namespace Command {
constexpr char Memory = 'M';
constexpr char List = 'L';
constexpr char Download = 'D';
constexpr char Upload = 'U';
constexpr char UploadEnd = 'u';
constexpr char Remove = 'R';
constexpr char Erase = 'E';
constexpr char Execute = 'X';
constexpr char Reboot = 'Q';
}

#endif
