#ifndef SESSION_H
#define SESSION_H

// The process-wide session state: one serial link, one pending request and
// the cursors of the transfer, batch and installation in progress. Every
// operation of the window reads and writes it directly; it is defined, in
// this order, in app/session.cpp.

#include <QByteArray>
#include <QFile>
#include <QSerialPort>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QtGlobal>

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
extern int installStat;              // an InstallStep value, the installation's step
extern QString lang[10];

// Beyond those fifteen: what the program's own safety checks need, set back
// together at the start of each installation by assigning a fresh one.
struct SafetyState
{
    int uploadOffset = 0;           // bytes of dataBytes sent: a chunk moves it instead of moving the rest
    quint32 listedSize = 0;         // the listed size of the file being downloaded: a reply announcing another answers some other request
    int readErrorsInARow = 0;       // read errors with no data between them: a flood of them means the device is gone
    QHash<QString, QString> savedNames; // saving names of this batch download as Windows compares them, and whose they are: two files never share one
    bool downloadIntoMemory = false;// the download reads a restored file back: compared, never saved
    int resumedAt = -1;             // where bytes begin in the buffer that came after the download reply stalled
    bool restartRequested = false;  // the receiver was told to restart: its port leaving is no lost link
};
extern SafetyState safety;
extern ScriptRun *flashScript;      // the flashing script while it runs

#endif
