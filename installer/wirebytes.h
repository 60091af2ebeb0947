#ifndef WIREBYTES_H
#define WIREBYTES_H

// The bytes an exchange moves on the wire, both ways: what its time limit
// and the installation's progress are reckoned by.

#include "device/replies.h"

#include <QString>
#include <QtGlobal>

qint64 downloadWireBytes(const QString &name, qint64 size);
qint64 uploadWireBytes(const QString &name, qint64 size);
// A listing as large as this one and one more file.
qint64 listingWireBytes(const ReceiverListing &listing, const QString &name = QString());

#endif
