#include "installer/portchoice.h"

#include <algorithm>

QString portComeBack(const QVector<SeenPort> &before, const QVector<SeenPort> &now, const QString &oldPort)
{
    const auto old = std::find_if(before.cbegin(), before.cend(), [&oldPort](const SeenPort &port) {
        return port.name == oldPort;
    });
    const bool idsKnown = old != before.cend() && old->hasIds;
    QString found;
    for (const SeenPort &port : now) {
        const bool isNew = std::none_of(before.cbegin(), before.cend(), [&port](const SeenPort &earlier) {
            return earlier.name == port.name;
        });
        if (!isNew || port.name == oldPort)
            continue;
        if (idsKnown && (!port.hasIds || port.vendorId != old->vendorId || port.productId != old->productId))
            continue;
        if (!found.isEmpty())
            return QString();
        found = port.name;
    }
    return found;
}
