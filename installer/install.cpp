#include "app/mainwindow.h"
#include "app/session.h"
#include "device/frames.h"
#include "installer/startwait.h"
#include "installer/steps.h"
#include "storage/batch.h"
#include "storage/filenames.h"
#include "ui_mainwindow.h"

#include <QTimer>

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

// Where the installation can't go on by itself, it says why and leaves the
// ending to Cancel.
void MainWindow::waitForCancel(const QString &problem)
{
    startWait->stop();
    log("..." + problem + "; Cancel ends the installation");
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
