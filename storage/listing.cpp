#include "listing.h"
#include "frames.h"
#include "mainwindow.h"
#include "session.h"
#include "ui_mainwindow.h"

#include <QHash>
#include <QHeaderView>
#include <QIcon>
#include <QStringList>

#include <climits>

namespace {
constexpr int entryHeaderSize = 8;
}

QVector<ListEntry> parseListBody(const QByteArray &body)
{
    QVector<ListEntry> entries;
    int pos = 0;
    while (pos < body.size()) {
        if (body.size() - pos < entryHeaderSize)
            break;
        // Only the least significant byte of the name length counts.
        const int nameLength = scti(body.at(pos + 3));
        const quint32 size = bigEndianAt(body, pos + 4);
        pos += entryHeaderSize;
        if (body.size() - pos < nameLength)
            break;
        // UTF-8, so that the name goes back in requests as the bytes it came as.
        entries.append({ QString::fromUtf8(body.constData() + pos, nameLength), size });
        pos += nameLength;
    }
    return entries;
}

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
    if (recived.size() < 8)
        return;
    totalMemory = bigEndianAt(recived, 0);
    usedMemory = bigEndianAt(recived, 4);

    const BarFigures bar = storageBarFigures(totalMemory, usedMemory);
    ui->memory->setRange(0, bar.maximum);
    ui->memory->setValue(bar.value);
    ui->totalMemory->setText(QString::number(totalMemory));
    ui->availableMemory->setText(QString::number(quint32(totalMemory - usedMemory)));

    recived.clear();
    mode = "LIST";
    sendRequest(request(Command::List));
}

void MainWindow::handleListReply()
{
    if (sizeOfData == 0) {
        if (recived.size() < 4)
            return;
        ui->tableWidget->setRowCount(0);
        ui->tableWidget->clear();
        sizeOfData = bigEndianAt(recived, 0);
        if (sizeOfData == 0) {
            endListing();
            return;
        }
        recived.remove(0, 4);
    }

    // The body is taken once all of it is held; anything beyond it is dropped.
    if (quint32(recived.size()) < sizeOfData)
        return;
    const QVector<ListEntry> entries = parseListBody(recived.left(int(sizeOfData)));
    // All rows at once, and the header labels once for them: the table shows
    // the same as when it was filled row by row, without redoing its layout
    // for every row.
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
    endListing();
}

void MainWindow::endListing()
{
    recived.clear();
    sizeOfData = 0;
    mode.clear();
    if (!nextFileNameUpload.isEmpty())
        on_pushButton_UploadAll_clicked();
    else if (installStat != 0)
        Install();
}
