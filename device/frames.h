#ifndef FRAMES_H
#define FRAMES_H

// The receiver's byte protocol: every request starts with the frame tag and a
// command letter; numbers travel as unsigned big-endian values.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class QIODevice;

const QByteArray &frameTag();

// A received byte as the unsigned value 0 to 255.
int scti(char byte);

// The unsigned big-endian number in bytes pos to pos+3 of data, which must hold them.
quint32 bigEndianAt(const QByteArray &data, int pos);
QByteArray bigEndianField(quint32 value);

// "/" followed by the name, as the receiver addresses its files.
QString devicePath(const QString &name);

// Requests, written to the device as consecutive writes: tag, command, arguments.
void writeRequest(QIODevice &device, char command, const QByteArray &argument = QByteArray());
void writePathRequest(QIODevice &device, char command, const QString &path);
void writeUploadHeader(QIODevice &device, const QString &path, quint32 size);

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
