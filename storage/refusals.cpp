#include "mainwindow.h"
#include "session.h"
#include "ui_mainwindow.h"

void MainWindow::refuse(QMessageBox::Icon icon, const QString &text)
{
    QMessageBox box(icon, QString(), text);
    box.exec();
    showStatus(QString());
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
bool MainWindow::hasSelectedFile()
{
    return ui->tableWidget->currentRow() >= 0 && !selectedFileName().isNull();
}

QString MainWindow::selectedFileName() const
{
    const QList<QTableWidgetItem *> selected = ui->tableWidget->selectedItems();
    if (selected.isEmpty())
        return QString();
    const QTableWidgetItem *name = ui->tableWidget->item(selected.first()->row(), 1);
    return name ? name->text() : QString();
}
