#ifndef LISTING_H
#define LISTING_H

#include <QString>
#include <QtGlobal>

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

#endif
