#include "storage/batch.h"
#include "app/mainwindow.h"
#include "app/session.h"
#include "ui_mainwindow.h"

QStringList dataFileNames()
{
    return { "ap.csv", "city.csv", "preset.csv", "scan.csv" };
}

QString nextUploadName(const QString &current, const QString &languageCode)
{
    const QStringList names = dataFileNames();
    if (current.isEmpty())
        return names.first();
    const int at = names.indexOf(current);
    if (at < 0)
        return QString();
    return at + 1 < names.size() ? names.at(at + 1) : languageCode.toLower() + ".lng";
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
        safety.savedNames.clear();
    if (currentRowDownloadAll < ui->tableWidget->rowCount()) {
        on_pushButton_clicked();
        return;
    }
    currentRowDownloadAll = -1;
}
