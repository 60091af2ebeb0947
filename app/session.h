#ifndef SESSION_H
#define SESSION_H

// The process-wide session state: one serial link, one pending request and
// the cursors of the transfer, batch and installation in progress. Every
// operation of the window reads and writes it directly; it is defined, in
// this order, in app/session.cpp.

#include <QByteArray>
#include <QFile>
#include <QSerialPort>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

#include "installer/restorecheck.h"

class ScriptRun;

extern bool connected;
extern QSerialPort serial;
extern QFile file;
extern quint32 totalMemory;          // unsigned 32-bit: the free-space figures wrap as the receiver's do
extern quint32 usedMemory;
extern QByteArray recived;
extern QString mode;                 // a Mode value: the request whose reply is awaited; empty while idle
extern int sizeOfFile;
extern QByteArray dataBytes;         // the content of the file being uploaded; uploadOffset bytes of it are sent
extern int writeBytesLength;
extern quint32 sizeOfData;           // listing body still awaited; 0 while no header is taken
extern QString nextFileNameUpload;
extern int currentRowDownloadAll;
extern int installStat;              // an InstallStep value
extern QString lang[10];

// Beyond those fifteen: what the program's own safety checks need. They are
// set back together by resetSafetyState(), at the start of each installation.
extern int uploadOffset;             // bytes of dataBytes sent: a chunk moves it instead of moving the rest
extern quint32 listedSize;           // the listed size of the file being downloaded: a reply announcing another answers some other request
extern int readErrorsInARow;         // read errors with no data between them: a flood of them means the device is gone
extern QSet<QString> savedNames;     // saving names used in this batch download, case-folded: two files never share one
extern bool listWhole;               // the last listing came whole: a backup made from it holds every file
extern bool restorePending;          // flashed, and the saved data not yet put back whole
extern RestoreCheck restoreCheck;    // the files the restore sent, read back before the installation calls itself complete
extern bool downloadIntoMemory;      // the download reads a restored file back: compared, never saved
extern std::optional<QByteArray> readBack; // what the last read-back brought; nothing when it brought no file
extern QString backupMovedTo;        // the folder this installation moved an older "files" to
extern QStringList lostDataFiles;    // data files the receiver lost, to be taken from that older backup
extern ScriptRun *flashScript;       // the flashing script while it runs

void resetSafetyState();

#endif
