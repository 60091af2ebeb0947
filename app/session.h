#ifndef SESSION_H
#define SESSION_H

// The process-wide session state: one serial link, one pending request and
// the cursors of the transfer, batch and installation in progress. Every
// operation of the window reads and writes it directly; it is defined, in
// this order, in mainwindow.cpp.

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
extern QString mode;                 // name of the request whose reply is awaited; empty while idle
extern int sizeOfFile;
extern QByteArray dataBytes;
extern int writeBytesLength;
extern quint32 sizeOfData;           // listing body still awaited; 0 while no header is taken
extern QString nextFileNameUpload;
extern int currentRowDownloadAll;
extern int installStat;
extern QString lang[10];

#endif
