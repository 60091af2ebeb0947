#include "device/portscan.h"

#include <QSerialPortInfo>
#include <QStringList>

#include <algorithm>

QVector<SeenPort> seenPorts()
{
    QVector<SeenPort> ports;
    for (const QSerialPortInfo &port : QSerialPortInfo::availablePorts())
        ports.append({ port.portName(), port.hasVendorIdentifier() && port.hasProductIdentifier(),
                       port.vendorIdentifier(), port.productIdentifier(), port.description(), port.manufacturer() });
    return ports;
}

bool isReceiverBridge(const SeenPort &port)
{
    static const quint16 bridgeMakers[] = { 0x10C4, 0x1A86, 0x0403, 0x067B };
    return port.hasIds && std::find(std::begin(bridgeMakers), std::end(bridgeMakers), port.vendorId) != std::end(bridgeMakers);
}

int preferredPortIndex(const QVector<SeenPort> &ports, const QString &picked)
{
    const auto index = [&ports](auto matches) {
        const auto found = std::find_if(ports.cbegin(), ports.cend(), matches);
        return found == ports.cend() ? -1 : int(found - ports.cbegin());
    };
    for (const int at : { index([&picked](const SeenPort &port) { return !picked.isEmpty() && port.name == picked; }),
                          index([](const SeenPort &port) { return port.name == "cu.SLAB_USBtoUART"; }),
                          index(isReceiverBridge) }) {
        if (at >= 0)
            return at;
    }
    return ports.isEmpty() ? -1 : 0;
}

QString portDescription(const SeenPort &port)
{
    QStringList words;
    if (!port.description.isEmpty())
        words << port.description;
    if (!port.manufacturer.isEmpty() && port.manufacturer != port.description)
        words << port.manufacturer;
    return words.join(" – ");
}
