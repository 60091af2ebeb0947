#ifndef NEXTSTEP_H
#define NEXTSTEP_H

// What the user can do next when an installation stops or waits, for a line
// of its own after the log's words for what happened. The port's own
// troubles are worded by the link's port-error rule (device/porterrors.h).

#include "device/portscan.h"

#include <QSerialPort>
#include <QString>
#include <QVector>

enum class Trouble {
    PortNotOpened,      // the port didn't open: its error says why
    LinkLost,           // the port went away
    NothingAnswers,     // nothing at all came on the port
    ReceiverFault,      // before the flash, the receiver refused a file or broke off
    PcFault,            // the PC can't keep what the backup saved
    NoRoom,             // the receiver has no room for a file
    FlasherLog,         // the flasher's old log can't be removed
    FlasherFailed,
    ReceiverAfterFlash, // after the flash, the receiver is silent or doesn't take its data
    PortNotBack,
    OtherReceiver,      // another receiver, with data of its own, is on the port after the flash
    BackupFolder,       // the backup folder can't be prepared
    Cancelled,
};

struct TroubleContext
{
    QString port;
    QSerialPort::SerialPortError portError = QSerialPort::NoError;
    QVector<SeenPort> ports;        // the ports listed when the installation started
    bool flashStarted = false;      // the saved data is only on the PC
};

QString nextStep(Trouble trouble, const TroubleContext &context);

#endif
