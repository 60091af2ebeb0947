#include "app/mainwindow.h"
#include "app/session.h"
#include "installer/backupfolder.h"
#include "installer/steps.h"
#include "storage/batch.h"
#include "storage/filenames.h"
#include "ui_mainwindow.h"

#include <QFileInfo>

// The backup step: every file of the receiver saved into a new "files".

void MainWindow::backUpDevice()
{
    log(QString());
    log("-> Save data from device:");
    // A backup never mixes with or overwrites an older one.
    if (!prepareBackupFolder("files", &backupMovedTo)) {
        log("...can't prepare the backup folder");
        on_pushButton_9_clicked();
        return;
    }
    if (!backupMovedTo.isEmpty())
        log("...older backup moved to " + backupMovedTo);
    on_pushButton_DownloadAll_clicked();
}

// The receiver may hold data that can't be saved: the firmware is written
// over it only on the user's word.
bool MainWindow::confirmIncompleteBackup()
{
    const quint64 run = installRun;
    const bool yes = confirm("The files on the receiver can't be read, so they can't be saved. Install the firmware "
                             "anyway? Its stations, presets and settings will be lost.");
    // The link may have been lost, and the installation with it, while the question was open.
    if (run != installRun || !connected)
        return false;
    if (!yes) {
        log("...can't read the file list of the device");
        on_pushButton_9_clicked();
        return false;
    }
    log("...installing without a complete backup");
    return true;
}

// After a restore that failed the receiver lacks its data files, and
// "files", the only backup that holds them, is about to be moved aside: the
// user may have them put back from it. False when the installation ended
// while the question was open.
bool MainWindow::offerOlderBackup()
{
    const QStringList listed = listedNames();
    lostDataFiles.clear();
    for (const QString &name : dataFileNames()) {
        if (!listed.contains(name) && QFileInfo(batchUploadSource(name)).isFile())
            lostDataFiles << name;
    }
    if (lostDataFiles.isEmpty())
        return true;
    const quint64 run = installRun;
    QMessageBox box(QMessageBox::Question, QString(),
                    "The receiver has lost its stations and settings, and the folder files holds a backup of them. "
                    "Put that backup on the receiver after the firmware is written?",
                    QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    const bool yes = box.exec() == QMessageBox::Yes;
    if (!yes)
        lostDataFiles.clear();
    return run == installRun;
}

// The new backup gets the data files the receiver lost from the older one,
// so that the restore puts them back; false when one can't be copied.
bool MainWindow::takeFromOlderBackup()
{
    for (const QString &name : qAsConst(lostDataFiles)) {
        if (!QFile::copy(backupMovedTo + "/" + name, batchUploadSource(name))) {
            waitForCancel("PC: can't copy " + name + " from the older backup " + backupMovedTo);
            return false;
        }
        log("..." + name + " taken from the older backup " + backupMovedTo);
    }
    return true;
}
