#ifndef PORTSCAN_H
#define PORTSCAN_H

#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

// Index of the port to select after a scan: the macOS call-out name of the
// USB-to-UART bridge when it is listed, else the first port (-1 when none).
int preferredPortIndex(const QStringList &portNames);

// A serial port as the system lists it.
struct SeenPort
{
    QString name;
    bool hasIds = false;            // a USB port's vendor and product ids are known
    quint16 vendorId = 0;
    quint16 productId = 0;
};

// The serial ports the system lists now, in its order.
QVector<SeenPort> seenPorts();

#endif
