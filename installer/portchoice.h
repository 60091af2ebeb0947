#ifndef PORTCHOICE_H
#define PORTCHOICE_H

#include "device/portscan.h"

// The port the receiver came back on after the flash, when its old one
// doesn't open: the one port that is new since before the flash and has the
// old one's USB ids, or, where those are unknown, the one new port. Empty
// while there is none, or more than one to choose from.
QString portComeBack(const QVector<SeenPort> &before, const QVector<SeenPort> &now, const QString &oldPort);

#endif
