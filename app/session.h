#ifndef SESSION_H
#define SESSION_H

// The process-wide session state: one serial link, one pending request and
// the cursors of the transfer, batch and installation in progress. The
// receiver's link (device/receiverlink.h) keeps the link's part of it, the
// exchanges and the installation's runner the rest; it is defined, in this
// order, in app/session.cpp.

#include <QByteArray>
#include <QFile>
#include <QSerialPort>
#include <QString>
#include <QtGlobal>

extern bool connected;
extern QSerialPort serial;
extern QFile file;
extern quint32 totalMemory;          // unsigned 32-bit: the free-space figures wrap as the receiver's do
extern quint32 usedMemory;
extern QByteArray recived;
extern QString mode;                 // a Mode value: the request whose reply is awaited; empty while idle
extern int sizeOfFile;
extern QByteArray dataBytes;         // the content of the file being uploaded
extern int writeBytesLength;
extern quint32 sizeOfData;           // listing body still awaited; 0 while no header is taken
extern QString nextFileNameUpload;
extern int currentRowDownloadAll;
extern int installStat;              // an InstallStep value, the installation's step
extern QString lang[10];

// Sets every variable back to its start value and closes the port, as a
// fresh start of the program would have it.
void resetSession();

#endif
