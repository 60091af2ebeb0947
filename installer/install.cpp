#include "app/mainwindow.h"
#include "app/session.h"
#include "device/connection.h"
#include "device/frames.h"
#include "installer/backupfolder.h"
#include "installer/startwait.h"
#include "installer/steps.h"
#include "storage/batch.h"
#include "storage/filenames.h"
#include "ui_mainwindow.h"

#include <QFileInfo>
#include <QTimer>

namespace {
// How long the receiver's file list may take to come after the link opened:
// a receiver in use answers at once; one that was just flashed may first
// format its file system.
constexpr int listingLimitBeforeFlashMs = 10000;
constexpr int listingLimitAfterFlashMs = 60000;
// A board with a USB port of its own leaves the PC while it restarts.
constexpr int reopenAttemptsAfterFlash = 30;
constexpr int reopenEveryMs = 1000;
}

void MainWindow::on_pushButton_Install_clicked()
{
    if (connected)
        on_pushButton_3_clicked();
    setControlsLocked(true);
    ui->pushButton_9->show();
    ui->textBrowser->setText("-> Start installation...");
    ++installRun;
    installStat = InstallStep::Idle;
    nextFileNameUpload.clear();
    currentRowDownloadAll = -1;
    resetSafetyState();
    Install();
}

// Takes the next step: installStat counts them.
void MainWindow::Install()
{
    ++installStat;
    switch (installStat) {
    case InstallStep::Connect:
        openLink();
        return;
    case InstallStep::Backup:
        // Bytes behind the listing mean it can't be trusted either.
        if (!recived.isEmpty())
            listWhole = false;
        if (!listWhole && !confirmIncompleteBackup())
            return;
        if (listWhole && !offerOlderBackup())
            return;
        backUpDevice();
        return;
    case InstallStep::Disconnect:
        on_pushButton_3_clicked();
        return;
    case InstallStep::Flash:
        startFlashing();
        return;
    case InstallStep::Restore:
        startRestore();
        return;
    case InstallStep::Complete:
        // Success is said only when it is true: every restored file read back whole.
        if (restoreCheck.allPutBack()) {
            log(QString());
            log("-> Installation complete.");
        }
        on_pushButton_9_clicked();
        on_pushButton_8_clicked();
        return;
    }
}

void MainWindow::reportEnded(Finished what, const QString &problem)
{
    if (installStat == InstallStep::Idle)
        return;
    const quint64 run = installRun;
    QTimer::singleShot(0, this, [this, what, problem, run] {
        if (run == installRun)
            stepEnded(what, problem);
    });
}

// The installation's one place of decision: what ended, at which step, and
// so what comes next. Every step starts here or from the buttons.
void MainWindow::stepEnded(Finished what, const QString &problem)
{
    if (!problem.isEmpty()) {
        waitForCancel(problem);
        return;
    }
    switch (what) {
    case Finished::Listing:
        if (installStat == InstallStep::Connect || installStat == InstallStep::Flash) {
            startWait->stop();
            Install();
        } else if (installStat == InstallStep::Restore && !nextFileNameUpload.isEmpty()) {
            checkRestoredSize();
            restoreNextFile();
        } else if (installStat == InstallStep::Restore && restoreCheck.current()) {
            readBackNext();     // a file sent again has been listed
        }
        return;
    case Finished::DownloadBatch:
        if (installStat == InstallStep::Backup && takeFromOlderBackup())
            Install();
        return;
    case Finished::LinkClosed:
        if (installStat == InstallStep::Disconnect)
            Install();
        return;
    case Finished::UploadBatch:
        if (installStat == InstallStep::Restore)
            verifyRestore();
        return;
    case Finished::ReadBack:
        if (installStat == InstallStep::Restore)
            judgeReadBack();
        return;
    }
}

// Opens the link at the steps that list the receiver's files next. After the
// flash the port may be away for a while, and is tried again.
void MainWindow::openLink()
{
    on_pushButton_3_clicked();
    if (connected) {
        reopenAttempts = 0;
        startWait->start(installStat == InstallStep::Connect ? listingLimitBeforeFlashMs : listingLimitAfterFlashMs);
        return;
    }
    const QString port = ui->comboBox->currentText();
    if (installStat == InstallStep::Connect) {
        waitForCancel(QString("ESP32: can't use the port %1").arg(port).trimmed());
        return;
    }
    if (++reopenAttempts < reopenAttemptsAfterFlash) {
        const quint64 run = installRun;
        QTimer::singleShot(reopenEveryMs, this, [this, run] {
            if (run == installRun)
                openLink();
        });
        return;
    }
    log("...can't open " + port + " again");
    on_pushButton_9_clicked();
}

// Three seconds without the file list: the receiver may still be starting.
void MainWindow::countDown()
{
    if (mode != Mode::Memory && mode != Mode::List)
        return;
    // A receiver that said it holds nothing has nothing to lose: its missing
    // list only passes the backup over.
    if (installStat == InstallStep::Connect && mode == Mode::List && usedMemory == 0) {
        startWait->stop();
        giveUpExchange();
        log("...filesystem not found on device");
        installStat = InstallStep::Backup;
        Install();
        return;
    }
    log("...waiting for the receiver to start");
}

void MainWindow::askForListingAgain()
{
    if (mode != Mode::Memory && mode != Mode::List)
        return;
    giveUpExchange();
    startRequest(Mode::Memory);
}

void MainWindow::listingNeverCame()
{
    if (mode != Mode::Memory && mode != Mode::List)
        return;
    giveUpExchange();
    if (installStat == InstallStep::Flash) {
        log("...the receiver did not answer after the firmware was written");
        on_pushButton_9_clicked();
        return;
    }
    // Only a receiver that said it holds nothing goes on without the user's word.
    if (totalMemory != 0 && usedMemory == 0) {
        log("...filesystem not found on device");
        installStat = InstallStep::Backup;
    } else {
        listWhole = false;
    }
    Install();
}

// Where the installation can't go on by itself, it says why and leaves the
// ending to Cancel.
void MainWindow::waitForCancel(const QString &problem)
{
    startWait->stop();
    log("..." + problem + "; Cancel ends the installation");
}

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

void MainWindow::startRestore()
{
    // Complete means: every data file the backup holds, and the language
    // file, put back and read back equal.
    const QString code = lang[ui->comboBox_language->currentIndex()];
    QStringList expected;
    for (QString name = nextUploadName(QString(), code); !name.isEmpty(); name = nextUploadName(name, code)) {
        if (name.endsWith(".lng") || QFile::exists(batchUploadSource(name)))
            expected << name;
    }
    restoreCheck.clear();
    restoreCheck.expect(expected);
    log(QString());
    log("-> Restore data to device:");
    restoreNextFile();
}

void MainWindow::restoreNextFile()
{
    on_pushButton_UploadAll_clicked();
    if (mode == Mode::Upload)
        restoreCheck.add(nextFileNameUpload, batchUploadSource(nextFileNameUpload), dataBytes);
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

// Ends the installation, whether it is complete, failed or given up: the
// link is left idle and the controls are unlocked.
void MainWindow::on_pushButton_9_clicked()
{
    ++installRun;
    startWait->stop();
    giveUpExchange();
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
