#include "app/mainwindow.h"
#include "app/session.h"
#include "installer/backupfolder.h"
#include "installer/steps.h"
#include "ui_mainwindow.h"

void MainWindow::on_pushButton_Install_clicked()
{
    if (connected)
        on_pushButton_3_clicked();
    setControlsLocked(true);
    ui->pushButton_9->show();
    ui->textBrowser->setText("-> Start installation...");
    installStat = InstallStep::Idle;
    nextFileNameUpload.clear();
    currentRowDownloadAll = -1;
    Install();
}

void MainWindow::Install()
{
    ++installStat;
    switch (installStat) {
    case InstallStep::Connect:
    case InstallStep::Disconnect:
        on_pushButton_3_clicked();
        return;
    case InstallStep::Backup:
        // Bytes behind the listing mean it can't be trusted either.
        if (!recived.isEmpty())
            listWhole = false;
        if (!listWhole && !confirmIncompleteBackup())
            return;
        backUpDevice();
        return;
    case InstallStep::Flash:
        startFlashing();
        return;
    case InstallStep::Restore:
        restoreCheck.clear();
        log(QString());
        log("-> Restore data to device:");
        on_pushButton_UploadAll_clicked();
        return;
    case InstallStep::Complete:
        reportDataNotPutBack();
        // Success is said only when it is true: every restored file read back whole.
        if (restoreCheck.allPutBack()) {
            log(QString());
            log("-> Installation complete.");
        }
        on_pushButton_8_clicked();
        on_pushButton_9_clicked();
        return;
    }
}

void MainWindow::backUpDevice()
{
    log(QString());
    log("-> Save data from device:");
    // A backup never mixes with or overwrites an older one.
    QString olderBackup;
    if (!prepareBackupFolder("files", &olderBackup)) {
        log("...can't prepare the backup folder");
        on_pushButton_9_clicked();
        return;
    }
    if (!olderBackup.isEmpty())
        log("...older backup moved to " + olderBackup);
    on_pushButton_DownloadAll_clicked();
}

// The receiver may hold data that can't be saved: the firmware is written
// over it only on the user's word.
bool MainWindow::confirmIncompleteBackup()
{
    const quint64 link = linkNumber;
    const bool yes = confirm("The files on the receiver can't be read, so they can't be saved. Install the firmware "
                             "anyway? Its stations, presets and settings will be lost.");
    // The link may have been lost, and the installation with it, while the question was open.
    if (installStat != InstallStep::Backup || link != linkNumber || !connected)
        return false;
    if (!yes) {
        log("...can't read the file list of the device");
        on_pushButton_9_clicked();
        return false;
    }
    log("...installing without a complete backup");
    return true;
}

// Once the firmware is written, the receiver's data exists only in "files"
// until the restore has put it back: the user is told where it is.
void MainWindow::reportDataNotPutBack()
{
    if (!restorePending)
        return;
    restorePending = false;
    log("...the saved data was not put back; it is in the folder files");
}

void MainWindow::on_pushButton_9_clicked()
{
    reportDataNotPutBack();
    restoreCheck.clear();
    installStat = InstallStep::Idle;
    nextFileNameUpload.clear();
    currentRowDownloadAll = -1;
    ui->pushButton_9->hide();
    setControlsLocked(false);
}

void MainWindow::setControlsLocked(bool locked)
{
    ui->pushButton_6->setEnabled(!locked);
    ui->pushButton_Install->setEnabled(!locked);
    ui->pushButton_Driver->setEnabled(!locked);
    ui->comboBox->setEnabled(!locked);
    ui->comboBox_2->setEnabled(!locked);
    ui->comboBox_language->setEnabled(!locked);
}
