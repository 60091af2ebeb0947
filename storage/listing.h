#ifndef LISTING_H
#define LISTING_H

#include "device/replies.h"

#include <QObject>
#include <QString>
#include <QtGlobal>

class ReceiverLink;

// The lower-case text between the first "." of a name and the next one; empty
// when there is no "." or the name begins with it.
QString getExtension(const QString &name);

// The resource path of the file-type icon for a lower-case extension.
QString iconForExtension(const QString &extension);

// Range and value for a progress bar showing used of total bytes: both scaled
// down together until the total fits an int.
struct BarFigures
{
    int maximum = 0;
    int value = 0;
};
BarFigures storageBarFigures(quint32 total, quint32 used);

// The storage listing: the receiver's figures (MEMORY), then its file list
// (LIST), as one exchange.
class StorageListing : public QObject
{
    Q_OBJECT

public:
    explicit StorageListing(ReceiverLink *link, QObject *parent = nullptr);
    void refresh();

signals:
    void listed(const ReceiverListing &listing);

private:
    ReceiverLink *link;
    bool pending = false;           // this exchange asked: the replies are its own
};

#endif
