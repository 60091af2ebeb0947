#include "installer/options.h"
#include "app/mainwindow.h"
#include "app/session.h"
#include "installer/shippedscript.h"
#include "ui_mainwindow.h"

#include <QFile>
#include <QTextStream>

#include <iterator>

QString receiverModel(const QString &controller, bool *known)
{
    *known = true;
    if (controller == "ili9341")
        return "Lumo 1/Lumo 2/Lumo Mini";
    if (controller == "st7789")
        return "Lumo 7";
    if (controller == "ili9488")
        return "Lumo Max";
    if (controller == "st7796")
        return QString();
    *known = false;
    return QString();
}

QString changelogPath(const QString &languageCode)
{
    return "firmware/changelog/changelog" + languageCode + ".txt";
}

void MainWindow::on_comboBox_2_currentIndexChanged(const QString &arg1)
{
    bool known = false;
    const QString model = receiverModel(arg1, &known);
    if (known)
        ui->label_4->setText(model);
}

void MainWindow::on_comboBox_language_currentIndexChanged(int index)
{
    if (index < 0 || index >= int(std::size(lang)))
        return;
    QFile changelog(changelogPath(lang[index]));
    if (!changelog.open(QIODevice::ReadOnly))
        return;
    // Decoded with the locale codec, UTF-8 since start-up; a byte-order mark wins.
    QTextStream text(&changelog);
    ui->textBrowser->setText(text.readAll());
}

void MainWindow::on_pushButton_Driver_clicked()
{
    runShippedScript("driver");
}
