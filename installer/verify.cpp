#include "app/mainwindow.h"
#include "app/session.h"
#include "device/connection.h"
#include "device/frames.h"
#include "installer/steps.h"
#include "ui_mainwindow.h"

// The restore's check. Sizes come for free: each upload is followed by a
// listing, which must list the file with the size that was sent. Then every
// file is read back into memory (never into "files": the backup stays as it
// is) and compared byte for byte; one that differs is sent once more.

void MainWindow::checkRestoredSize()
{
    const RestoreCheck::File *file = restoreCheck.lastAdded();
    if (!file)
        return;
    for (int row = 0; row < ui->tableWidget->rowCount(); ++row) {
        const QTableWidgetItem *name = ui->tableWidget->item(row, 1);
        const QTableWidgetItem *size = ui->tableWidget->item(row, 2);
        if (name && size && name->text() == file->name && size->text() == QString::number(file->content.size()))
            return;
    }
    log("..." + file->name + " was not put back whole");
}

void MainWindow::verifyRestore()
{
    if (restoreCheck.lastAdded()) {
        log(QString());
        log("-> Verify restored data:");
    }
    restoreCheck.start();
    readBackNext();
}

void MainWindow::readBackNext()
{
    if (installStat != InstallStep::Restore)
        return;
    const RestoreCheck::File *file = restoreCheck.current();
    if (!file) {
        if (restoreCheck.allPutBack())
            restorePending = false;
        Install();
        return;
    }
    listedSize = quint32(file->content.size());
    downloadIntoMemory = true;
    sizeOfFile = 0;
    startRequest(Mode::Download, pathArgument(devicePath(file->name)));
}

void MainWindow::judgeReadBack()
{
    if (!restoreCheck.current())
        return;
    const RestoreCheck::File file = *restoreCheck.current();
    switch (restoreCheck.judge(readBack)) {
    case RestoreCheck::Matches:
        log(file.name + " ...ok");
        break;
    case RestoreCheck::SendAgain:
        log(file.name + " ...differs");
        if (startUpload(file.source).isEmpty())
            return;     // the listing after it reads the file back again
        restoreCheck.judge(std::nullopt);
        log("..." + file.name + " was not put back whole");
        break;
    case RestoreCheck::NotPutBack:
        log(file.name + " ...differs");
        log("..." + file.name + " was not put back whole");
        break;
    }
    readBackNext();
}
