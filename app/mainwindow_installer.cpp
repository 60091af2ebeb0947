#include "app/mainwindow.h"
#include "ui_mainwindow.h"
#include "app/session.h"
#include "installer/installationrunner.h"
#include "installer/options.h"
#include "installer/preflight.h"
#include "installer/scriptrun.h"

#include <QFile>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextStream>

#include <iterator>

// The window's installer area: the installation's controls and what its
// runner shows and asks, the display and language options, the driver.

void MainWindow::connectInstaller()
{
    connect(runner, &InstallationRunner::reportsWaiting, this, &MainWindow::Install, Qt::QueuedConnection);
    connect(runner, &InstallationRunner::checkDue, this, &MainWindow::countDown);
    connect(runner, &InstallationRunner::began, this, [this](const QString &firstLine) {
        setControlsLocked(true);
        ui->pushButton_9->show();
        ui->textBrowser->setText(firstLine);
    });
    connect(runner, &InstallationRunner::logged, this, &MainWindow::log);
    connect(runner, &InstallationRunner::scriptLinesShown, this, &MainWindow::showScriptLines);
    connect(runner, &InstallationRunner::statusShown, this, &MainWindow::showStatus);
    connect(runner, &InstallationRunner::asked, this, &MainWindow::askQuestion);
    connect(runner, &InstallationRunner::refused, this, &MainWindow::showRefusal);
    connect(runner, &InstallationRunner::portChosen, this, [this](const QString &port) {
        if (ui->comboBox->findText(port) < 0)
            ui->comboBox->addItem(port);
        ui->comboBox->setCurrentText(port);
    });
    connect(runner, &InstallationRunner::cancelAllowed, ui->pushButton_9, &QWidget::setEnabled);
    connect(runner, &InstallationRunner::progressShown, this, [this](int percent, const QString &text) {
        installProgress->setValue(percent);
        installProgress->setFormat(text);
        installProgress->show();
    });
    connect(runner, &InstallationRunner::ended, this, &MainWindow::endInstallation);
}

// Nothing is sent to the receiver before the release is known to be whole.
void MainWindow::on_pushButton_Install_clicked()
{
    const QString problem = preflightProblem(lang[ui->comboBox_language->currentIndex()]);
    if (!problem.isEmpty()) {
        log("..." + problem);
        refuse(QMessageBox::Information, problem);
        return;
    }
    if (connected)
        on_pushButton_3_clicked();
    runner->start({ ui->comboBox->currentText(), ui->comboBox_2->currentText(),
                    lang[ui->comboBox_language->currentIndex()], listPorts() });
}

void MainWindow::Install()
{
    runner->deliverReports();
}

void MainWindow::countDown()
{
    runner->checkExpired();
}

void MainWindow::on_pushButton_9_clicked()
{
    runner->cancel();
}

// Shown without a loop of its own: the answer goes back as an event. A
// pending record's No means not now; Forget retires it.
void MainWindow::askQuestion(Installation::Question question, const QString &text, bool yesByDefault)
{
    const bool flashAnyway = question == Installation::Question::IncompleteBackup;
    const bool offer = question == Installation::Question::PendingRecord;
    const bool choice = offer || question == Installation::Question::Language;
    const QMessageBox::StandardButton no = flashAnyway ? QMessageBox::Cancel : QMessageBox::No;
    auto *box = new QMessageBox(choice ? QMessageBox::Question : QMessageBox::Warning, windowTitle(), text,
                                QMessageBox::Yes | no);
    if (offer)
        box->addButton(QMessageBox::Discard)->setText("Forget them");
    box->setDefaultButton(yesByDefault ? QMessageBox::Yes : no);
    box->setWindowModality(Qt::ApplicationModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box, question] {
        const QMessageBox::StandardButton clicked = box->standardButton(box->clickedButton());
        runner->answer(question, clicked == QMessageBox::Yes       ? Installation::Answer::Yes
                                 : clicked == QMessageBox::Discard ? Installation::Answer::Forget
                                                                   : Installation::Answer::No);
    });
    openQuestion = box;
    box->show();
}

// A refusal the installation does not wait for: its box, like a question's,
// has no loop of its own.
void MainWindow::showRefusal(const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(), text);
    box->setWindowModality(Qt::ApplicationModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this] { showStatus(QString()); });
    box->show();
}

// A line redrawn in place may grow by a row: a pane that showed its end
// goes on showing it, as appending does.
void MainWindow::showScriptLines(const QVector<ConsoleText::ShownLine> &lines)
{
    QScrollBar *scroll = ui->textBrowser->verticalScrollBar();
    for (const ConsoleText::ShownLine &line : lines) {
        if (!line.replacesLast) {
            log(line.text);
            continue;
        }
        const bool atEnd = scroll->value() == scroll->maximum();
        QTextCursor cursor(ui->textBrowser->document()->lastBlock());
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.insertText(line.text);
        if (atEnd)
            scroll->setValue(scroll->maximum());
    }
}

void MainWindow::endInstallation()
{
    installProgress->hide();
    delete openQuestion;
    ui->pushButton_9->hide();
    ui->pushButton_9->setEnabled(true);
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

// The driver installer runs in the background, as the flashing script does:
// the window stays served and shows what it says. It may unload the
// bridge's driver meanwhile, so nothing that uses a port can be started.
void MainWindow::on_pushButton_Driver_clicked()
{
    setPortControlsLocked(true);
    log(QString());
    log("-> Install driver...");
    driverScript = new ScriptRun(this);
    connect(driverScript, &ScriptRun::linesShown, this, &MainWindow::showScriptLines);
    connect(driverScript, &ScriptRun::ended, this, [this] {
        log(QString("...driver script ended (exit code %1)").arg(driverScript->exitCode()));
        driverScript->deleteLater();
        setPortControlsLocked(false);
    });
    driverScript->start("driver", {});
}

void MainWindow::setPortControlsLocked(bool locked)
{
    ui->pushButton_Driver->setEnabled(!locked);
    ui->pushButton_Install->setEnabled(!locked);
    ui->pushButton_6->setEnabled(!locked);
    ui->comboBox->setEnabled(!locked);
}
