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

QString portErrorAdvice(QSerialPort::SerialPortError error, const QString &port)
{
    if (port.isEmpty())
        return "no port is chosen: plug the receiver in, press Scan and choose its port";
    switch (error) {
    case QSerialPort::PermissionError:
    case QSerialPort::OpenError: {
        QString advice = port + " is in use by another program (a serial monitor, another flasher) or not permitted: "
                                "close the other program and press Install FW again";
#ifdef Q_OS_LINUX
        advice += "; on Linux your user must also be in the group that owns the port (dialout on most systems)";
#endif
        return advice;
    }
    case QSerialPort::DeviceNotFoundError:
        return port + " is gone: plug the receiver in again, choose its port and press Install FW";
    case QSerialPort::ResourceError:
        return port + " went away: plug the receiver in again, choose its port and press Install FW";
    default:
        return port + " can't be used: choose the receiver's port and press Install FW again";
    }
}
