#include "app/mainwindow.h"
#include "app/session.h"
#include "installer/backupfolder.h"
#include "installer/shippedscript.h"
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
        backUpDevice();
        return;
    case InstallStep::Flash:
        if (!flashFirmware()) {
            on_pushButton_9_clicked();
            return;
        }
        on_pushButton_3_clicked();
        return;
    case InstallStep::Restore:
        log(QString());
        log("-> Restore data to device:");
        on_pushButton_UploadAll_clicked();
        return;
    case InstallStep::Complete:
        log(QString());
        log("-> Installation complete.");
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
    if (!prepareBackupFolder("files")) {
        log("...can't prepare the backup folder");
        on_pushButton_9_clicked();
        return;
    }
    on_pushButton_DownloadAll_clicked();
}

bool MainWindow::flashFirmware()
{
    log(QString());
    log("-> Install firmware...");
    const QString installLog = "firmware/install.log";
    QFile::remove(installLog);
    runShippedScript("flash", { ui->comboBox->currentText(), ui->comboBox_2->currentText() });
    const bool done = firmwareLogSucceeded(installLog);
    log(done ? "...done" : "...failed");
    return done;
}

void MainWindow::on_pushButton_9_clicked()
{
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
