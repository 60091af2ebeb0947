#include "storage/listing.h"
#include "device/receiverlink.h"

#include <QStringList>

#include <climits>
#include <utility>

QString getExtension(const QString &name)
{
    const int dot = name.indexOf('.');
    if (dot <= 0)
        return QString();
    return name.split('.').at(1).toLower();
}

QString iconForExtension(const QString &extension)
{
    static const struct { const char *icon; QStringList extensions; } icons[] = {
        { ":/new/icons/text.png", { "txt" } },
        { ":/new/icons/picture.png", { "bmp", "jpg", "png" } },
        { ":/new/icons/music.png", { "wav", "mp3", "mid" } },
        { ":/new/icons/engine.png", { "ini", "js", "css", "xml" } },
        { ":/new/icons/world.png", { "html", "htm" } },
        { ":/new/icons/wifi.png", { "wifi" } },
    };
    for (const auto &entry : icons) {
        if (entry.extensions.contains(extension))
            return entry.icon;
    }
    return ":/new/icons/unknown.png";
}

BarFigures storageBarFigures(quint32 total, quint32 used)
{
    int shift = 0;
    while ((total >> shift) > quint32(INT_MAX))
        ++shift;
    return { int(total >> shift), int(qMin(used >> shift, quint32(INT_MAX))) };
}

StorageListing::StorageListing(ReceiverLink *link, QObject *parent)
    : QObject(parent)
    , link(link)
{
    connect(link, &ReceiverLink::memory, this, [this] {
        if (pending)
            this->link->askForList();
    });
    connect(link, &ReceiverLink::listed, this, [this](const ReceiverListing &listing) {
        if (std::exchange(pending, false))
            emit listed(listing);
    });
    connect(link, &ReceiverLink::dropped, this, [this] { pending = false; });
}

void StorageListing::refresh()
{
    pending = true;
    link->askForMemory();
}
