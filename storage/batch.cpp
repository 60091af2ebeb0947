#include "storage/batch.h"
#include "app/mainwindow.h"
#include "app/session.h"
#include "ui_mainwindow.h"

QString nextUploadName(const QString &current, const QString &languageCode)
{
    if (current.isEmpty())
        return "ap.csv";
    if (current == "ap.csv")
        return "city.csv";
    if (current == "city.csv")
        return "preset.csv";
    if (current == "preset.csv")
        return "scan.csv";
    if (current == "scan.csv")
        return languageCode.toLower() + ".lng";
    return QString();
}

void MainWindow::on_pushButton_UploadAll_clicked()
{
    nextFileNameUpload = nextUploadName(nextFileNameUpload, lang[ui->comboBox_language->currentIndex()]);
    if (!nextFileNameUpload.isEmpty()) {
        on_pushButton_2_clicked();
        return;
    }
    reportEnded(Finished::UploadBatch);
}

void MainWindow::on_pushButton_DownloadAll_clicked()
{
    ++currentRowDownloadAll;
    if (currentRowDownloadAll == 0)
        savedNames.clear();
    if (currentRowDownloadAll < ui->tableWidget->rowCount()) {
        on_pushButton_clicked();
        return;
    }
    currentRowDownloadAll = -1;
    reportEnded(Finished::DownloadBatch);
}
