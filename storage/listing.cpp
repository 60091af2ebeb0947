#include "storage/listing.h"
#include "app/mainwindow.h"
#include "app/session.h"
#include "device/connection.h"
#include "device/frames.h"
#include "device/replies.h"
#include "ui_mainwindow.h"

#include <QHash>
#include <QHeaderView>
#include <QIcon>
#include <QStringList>

#include <climits>

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

void MainWindow::handleMemoryReply()
{
    const MemoryReply reply = decodeMemoryReply(recived);
    if (!reply.complete)
        return;
    totalMemory = reply.total;
    usedMemory = reply.used;

    const BarFigures bar = storageBarFigures(totalMemory, usedMemory);
    ui->memory->setRange(0, bar.maximum);
    ui->memory->setValue(bar.value);
    ui->totalMemory->setText(QString::number(totalMemory));
    ui->availableMemory->setText(QString::number(quint32(totalMemory - usedMemory)));

    startRequest(Mode::List);
}

void MainWindow::handleListReply()
{
    const ListReply reply = decodeListReply(recived, sizeOfData);
    if (reply.headerTaken) {
        ui->tableWidget->setRowCount(0);
        ui->tableWidget->clear();
    }
    if (!reply.complete)
        return;
    mode.clear();
    showListing(reply.entries);
    listingEnded({ totalMemory, usedMemory, reply.entries, reply.whole });
}

// All rows at once, and the header labels once for them: the table shows the
// same as when it was filled row by row, without redoing its layout for
// every row.
void MainWindow::showListing(const QVector<ListEntry> &entries)
{
    ui->tableWidget->setRowCount(entries.size());
    QHash<QString, QIcon> icons;    // each image decoded once per listing, not once per row
    for (int row = 0; row < entries.size(); ++row) {
        const ListEntry &entry = entries.at(row);
        const QString iconPath = iconForExtension(getExtension(entry.name));
        if (!icons.contains(iconPath))
            icons.insert(iconPath, QIcon(iconPath));
        auto *icon = new QTableWidgetItem;
        icon->setIcon(icons.value(iconPath));
        ui->tableWidget->setItem(row, 0, icon);
        ui->tableWidget->setItem(row, 1, new QTableWidgetItem(entry.name));
        ui->tableWidget->setItem(row, 2, new QTableWidgetItem(QString::number(entry.size)));
    }
    if (!entries.isEmpty()) {
        ui->tableWidget->setHorizontalHeaderLabels({ QString(), "Name", "Size, Bytes" });
        ui->tableWidget->verticalHeader()->hide();
    }
}
