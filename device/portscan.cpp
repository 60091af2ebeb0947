#include "device/portscan.h"

#include <QSerialPortInfo>

int preferredPortIndex(const QStringList &portNames)
{
    const int bridge = portNames.indexOf("cu.SLAB_USBtoUART");
    if (bridge >= 0)
        return bridge;
    return portNames.isEmpty() ? -1 : 0;
}

QVector<SeenPort> seenPorts()
{
    QVector<SeenPort> ports;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts())
        ports.append({ port.portName(), port.hasVendorIdentifier() && port.hasProductIdentifier(),
                       port.vendorIdentifier(), port.productIdentifier() });
    return ports;
}
