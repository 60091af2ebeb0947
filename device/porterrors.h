#ifndef PORTERRORS_H
#define PORTERRORS_H

// What an error of the receiver's port means for the link, apart from the
// port, so that the rule can be pinned without one.

#include <QSerialPort>
#include <QString>

// A closed pseudo-terminal or a vanished USB bridge may report a flood of
// read errors instead of one resource error: this many in a row, with no
// data between them, means the device is gone.
constexpr int persistentReadErrors = 100;

enum class PortFault {
    None,           // nothing that ends the link
    Lost,           // the device is gone: said, and the link closed
    Restarting,     // gone while it restarts on our request: the link closed, nothing said
};
PortFault portFault(QSerialPort::SerialPortError error, int readErrorsInARow, bool restartRequested);

// The words for a link that was lost, as the log and the installation say them.
QString lostLinkWords();

// Why a port can't be used or was lost, and what to do about it, in the
// user's words. Qt reports a port another program holds and a port the user
// may not open alike, so both are said.
QString portErrorAdvice(QSerialPort::SerialPortError error, const QString &port);

#endif
