#include "app/mainwindow.h"
#include "ui_mainwindow.h"
#include "app/session.h"
#include "device/frames.h"
#include "device/portscan.h"
#include "device/receiverlink.h"
#include "installer/installationrunner.h"
#include "installer/scriptrun.h"
#include "storage/batch.h"
#include "storage/download.h"
#include "storage/filenames.h"
#include "storage/listing.h"
#include "storage/upload.h"

#include <QFileDialog>
#include <QHash>
#include <QHeaderView>
#include <QIcon>
#include <QAbstractItemView>
#include <QTimer>

// The window's hidden file manager: the link and its port, the storage
// view, the single-file operations and the batches that chain them.

void MainWindow::connectFileManager()
{
    connect(link, &ReceiverLink::status, this, &MainWindow::showStatus);
    connect(link, &ReceiverLink::opened, this, [this] {
        resetStorageView();
        ui->pushButton_3->setText("disconnect");
    });
    connect(link, &ReceiverLink::closed, this, [this] {
        resetStorageView();
        ui->tableWidget->setRowCount(0);
        ui->pushButton_3->setText("connect");
    });
    connect(link, &ReceiverLink::lost, this, [this](const QString &words) {
        if (!runner->isRunning())
            log("..." + words);
    });
    connect(link, &ReceiverLink::memory, this, &MainWindow::showFigures);
    connect(link, &ReceiverLink::listingBegun, this, [this] {
        ui->tableWidget->setRowCount(0);
        ui->tableWidget->clear();
    });
    connect(link, &ReceiverLink::listed, this, [this](const ReceiverListing &listed) { showListing(listed.entries); });
    // A file removed or the file system formatted: the view shows what is left.
    connect(link, &ReceiverLink::answered, this, [this](const QString &request, CommandReply reply) {
        if (reply == CommandReply::Accepted && request != Mode::Execute)
            listing->refresh();
    });

    // The batches go on from the event loop, so that a refusal's box never
    // opens inside the port's notification.
    connect(listing, &StorageListing::listed, this, [this] {
        if (!nextFileNameUpload.isEmpty())
            QTimer::singleShot(0, this, &MainWindow::on_pushButton_UploadAll_clicked);
    });
    connect(download, &FileDownload::status, this, &MainWindow::showStatus);
    connect(download, &FileDownload::saved, this, [this](bool empty) {
        if (empty)
            log("...skipped");
        if (currentRowDownloadAll >= 0)
            QTimer::singleShot(0, this, &MainWindow::on_pushButton_DownloadAll_clicked);
    });
    connect(download, &FileDownload::notSaved, this, [this](const QString &problem) {
        log(problem);
        currentRowDownloadAll = -1;
    });
    // The receiver restarted in the middle of a file: the batch ends there, said on the status.
    connect(download, &FileDownload::interrupted, this, [] { currentRowDownloadAll = -1; });
    connect(upload, &FileUpload::status, this, &MainWindow::showStatus);
    connect(upload, &FileUpload::ended, this, [this](UploadReply outcome) {
        if (outcome == UploadReply::Restarted)
            nextFileNameUpload.clear();
        else
            listing->refresh();
    });
}

void MainWindow::on_pushButton_6_clicked()
{
    showPorts(listPorts());
    showStatus("scan ports complete");
}

// Each port with what it is as its tooltip; the one to use chosen.
void MainWindow::showPorts(const QVector<SeenPort> &ports)
{
    ui->comboBox->clear();
    for (const SeenPort &port : ports) {
        ui->comboBox->addItem(port.name);
        ui->comboBox->setItemData(ui->comboBox->count() - 1, portDescription(port), Qt::ToolTipRole);
    }
    ui->comboBox->setCurrentIndex(preferredPortIndex(ports, pickedPort));
}

// While nothing uses the ports, the list follows those that come and go,
// without a word on the status bar; never under the user's open list.
void MainWindow::followPorts()
{
    if (runner->isRunning() || driverScript || ui->comboBox->view()->isVisible())
        return;
    const QVector<SeenPort> ports = listPorts();
    QStringList listed;
    for (int index = 0; index < ui->comboBox->count(); ++index)
        listed << ui->comboBox->itemText(index);
    QStringList names;
    for (const SeenPort &port : ports)
        names << port.name;
    if (names != listed)
        showPorts(ports);
}

void MainWindow::on_pushButton_3_clicked()
{
    showStatus(QString());
    resetStorageView();
    if (connected) {
        log("...disconnected");
        link->close();
    } else if (link->open(ui->comboBox->currentText())) {
        log("...connected to device");
        listing->refresh();
    }
}

void MainWindow::on_pushButton_clicked()
{
    if (!linkIsIdle("device is busy now: " + mode))
        return;
    const bool batch = currentRowDownloadAll >= 0;
    const int row = batch ? currentRowDownloadAll : selectedRow();
    const QTableWidgetItem *nameItem = ui->tableWidget->item(row, 1);
    if (!nameItem || (!batch && !hasSelectedFile())) {
        refuse(QMessageBox::Information, "select file, please");
        return;
    }
    const QString folder = batch ? QString("files")
                                 : QFileDialog::getExistingDirectory(nullptr, QString(), QString(),
                                                                     QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) {
        showStatus("PC: empty downloading path");
        return;
    }
    if (batch)
        log(nameItem->text());
    const QTableWidgetItem *sizeItem = ui->tableWidget->item(row, 2);
    download->save(nameItem->text(), sizeItem ? sizeItem->text().toUInt() : 0, folder, batch);
}

void MainWindow::on_pushButton_2_clicked()
{
    if (!linkIsIdle("device is busy now: " + mode))
        return;
    const bool batch = !nextFileNameUpload.isEmpty();
    QString path;
    if (batch) {
        log(nextFileNameUpload);
        path = batchUploadSource(nextFileNameUpload);
    } else {
        path = QFileDialog::getOpenFileName(nullptr);
    }
    if (path.isEmpty()) {
        showStatus("ESP32: empty uploading path");
        return;
    }
    const UploadSource source = readUploadSource(path);
    if (source.missing) {
        showStatus(source.problem);
        log("...skipped");
        if (batch)
            on_pushButton_UploadAll_clicked();
        return;
    }
    // A refused file stops a batch: its listing, which would send the next, never comes.
    const QString name = cleanedUploadName(path);
    if (isIncorrectUploadName(name)) {
        refuse(QMessageBox::Critical, "incorrect file name");
        return;
    }
    if (!source.problem.isEmpty()) {
        showStatus(source.problem);
        return;
    }
    if (!fitsInFreeSpace(source.content.size(), totalMemory, usedMemory)) {
        refuse(QMessageBox::Warning, notEnoughSpaceWords());
        return;
    }
    upload->send(name, source.content);
}

void MainWindow::on_pushButton_4_clicked()
{
    if (!linkIsIdle("device is busy now"))
        return;
    if (!hasSelectedFile()) {
        refuse(QMessageBox::Information, "select file, please");
        return;
    }
    if (!confirm("Do you want to delete " + selectedFileName() + "?")) {
        showStatus(QString());
        return;
    }
    // A nested event loop ran while the question was open: check again.
    if (!hasSelectedFile())
        return;
    link->remove(selectedFileName());
}

void MainWindow::on_pushButton_5_clicked()
{
    if (!linkIsIdle("device is busy now"))
        return;
    showStatus("formatting , please wait...");
    if (confirm("Please, confirm to format SPIFFS"))
        link->format();
    else
        showStatus(QString());
}

void MainWindow::on_pushButton_7_clicked()
{
    if (!linkIsIdle("device is busy now"))
        return;
    if (!hasSelectedFile()) {
        refuse(QMessageBox::Information, "select file, please");
        return;
    }
    const QString path = devicePath(selectedFileName());
    if (getExtension(path).isEmpty()) {
        refuse(QMessageBox::Information, "unsupported file for execution");
        return;
    }
    link->execute(path);
}

void MainWindow::on_pushButton_8_clicked()
{
    if (linkIsIdle("device is busy now"))
        link->reboot();
}

void MainWindow::on_pushButton_UploadAll_clicked()
{
    nextFileNameUpload = nextUploadName(nextFileNameUpload, lang[ui->comboBox_language->currentIndex()]);
    if (!nextFileNameUpload.isEmpty())
        on_pushButton_2_clicked();
}

void MainWindow::on_pushButton_DownloadAll_clicked()
{
    ++currentRowDownloadAll;
    if (currentRowDownloadAll == 0)
        download->beginBatch();
    if (currentRowDownloadAll < ui->tableWidget->rowCount()) {
        on_pushButton_clicked();
        return;
    }
    currentRowDownloadAll = -1;
}

void MainWindow::resetStorageView()
{
    ui->tableWidget->clear();
    ui->memory->setValue(0);
    ui->totalMemory->setText("0");
    ui->availableMemory->setText("0");
}

void MainWindow::showFigures(quint32 total, quint32 used)
{
    const BarFigures bar = storageBarFigures(total, used);
    ui->memory->setRange(0, bar.maximum);
    ui->memory->setValue(bar.value);
    ui->totalMemory->setText(QString::number(total));
    ui->availableMemory->setText(QString::number(quint32(total - used)));
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

void MainWindow::refuse(QMessageBox::Icon icon, const QString &text)
{
    QMessageBox box(icon, windowTitle(), text);
    box.exec();
    showStatus(QString());
}

bool MainWindow::confirm(const QString &question)
{
    QMessageBox box(QMessageBox::Warning, windowTitle(), question, QMessageBox::Yes | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Yes;
}

bool MainWindow::linkIsIdle(const QString &busyText)
{
    if (!connected) {
        refuse(QMessageBox::Information, "connect to device, please");
        return false;
    }
    if (!mode.isEmpty()) {
        refuse(QMessageBox::Warning, busyText);
        return false;
    }
    return true;
}

// A current row is not enough: the name is read from the selection.
bool MainWindow::hasSelectedFile() const
{
    return ui->tableWidget->currentRow() >= 0 && !selectedFileName().isNull();
}

int MainWindow::selectedRow() const
{
    const QList<QTableWidgetItem *> selected = ui->tableWidget->selectedItems();
    return selected.isEmpty() ? -1 : selected.first()->row();
}

QString MainWindow::selectedFileName() const
{
    const QTableWidgetItem *name = ui->tableWidget->item(selectedRow(), 1);
    return name ? name->text() : QString();
}
