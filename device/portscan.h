#ifndef PORTSCAN_H
#define PORTSCAN_H

#include <QStringList>

// Index of the port to select after a scan: the macOS call-out name of the
// USB-to-UART bridge when it is listed, else the first port (-1 when none).
int preferredPortIndex(const QStringList &portNames);

#endif
