#ifndef PORTSCAN_H
#define PORTSCAN_H

#include <QString>
#include <QVector>
#include <QtGlobal>

// A serial port as the system lists it.
struct SeenPort
{
    SeenPort(const QString &name = QString(), bool hasIds = false, quint16 vendorId = 0, quint16 productId = 0,
             const QString &description = QString(), const QString &manufacturer = QString())
        : name(name), hasIds(hasIds), vendorId(vendorId), productId(productId), description(description),
          manufacturer(manufacturer)
    {
    }
    QString name;
    bool hasIds;                    // a USB port's vendor and product ids are known
    quint16 vendorId;
    quint16 productId;
    QString description;
    QString manufacturer;
};

// The serial ports the system lists now, in its order.
QVector<SeenPort> seenPorts();

// A USB-to-serial bridge of the kinds receivers use, by its USB vendor id:
// Silicon Labs, WCH, FTDI or Prolific.
bool isReceiverBridge(const SeenPort &port);

// The port to choose in a list: the one the user picked while it is listed;
// else the macOS call-out name of the Silicon Labs bridge; else the first
// bridge of the kinds receivers use; else the first port; -1 when none.
int preferredPortIndex(const QVector<SeenPort> &ports, const QString &picked = QString());

// What a port is, for its tooltip: its description and maker, as far as known.
QString portDescription(const SeenPort &port);

#endif
