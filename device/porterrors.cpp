#include "device/porterrors.h"

PortFault portFault(QSerialPort::SerialPortError error, int readErrorsInARow, bool restartRequested)
{
    const bool gone = error == QSerialPort::ResourceError
                   || (error == QSerialPort::ReadError && readErrorsInARow >= persistentReadErrors);
    if (!gone)
        return PortFault::None;
    // A board with a USB port of its own leaves the PC as it restarts.
    return restartRequested ? PortFault::Restarting : PortFault::Lost;
}

QString lostLinkWords()
{
    return "connection lost";
}
