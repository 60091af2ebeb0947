#include "app/mainwindow.h"
#include "app/session.h"
#include "ui_mainwindow.h"

void MainWindow::refuse(QMessageBox::Icon icon, const QString &text)
{
    QMessageBox box(icon, QString(), text);
    box.exec();
    showStatus(QString());
}

bool MainWindow::confirm(const QString &question)
{
    QMessageBox box(QMessageBox::Warning, QString(), question, QMessageBox::Yes | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Yes;
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

int MainWindow::selectedRow() const
{
    const QList<QTableWidgetItem *> selected = ui->tableWidget->selectedItems();
    return selected.isEmpty() ? -1 : selected.first()->row();
}

QString MainWindow::selectedFileName() const
{
    const QTableWidgetItem *name = ui->tableWidget->item(selectedRow(), 1);
    return name ? name->text() : QString();
}
