#include "app/mainwindow.h"
#include "app/session.h"
#include "installer/backupfolder.h"
#include "installer/scriptrun.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QTextBlock>
#include <QTextCursor>

namespace {
const QString installLog = "firmware/install.log";
}

// The firmware step. The flashing script runs in the background, so the
// window stays served and shows the flasher's lines, while nothing can
// interrupt the step: a half-written firmware is worse than a slow one.
void MainWindow::startFlashing()
{
    log(QString());
    log("-> Install firmware...");
    // A log that stays from an earlier run would count as this one's success.
    if (QFile::exists(installLog) && !QFile::remove(installLog)) {
        log("...failed");
        on_pushButton_9_clicked();
        return;
    }
    ui->pushButton_9->setEnabled(false);
    flashScript = new ScriptRun(this);
    connect(flashScript, &ScriptRun::linesShown, this, &MainWindow::showScriptLines);
    connect(flashScript, &ScriptRun::ended, this, &MainWindow::flashingEnded);
    flashScript->start("flash", { ui->comboBox->currentText(), ui->comboBox_2->currentText() });
}

void MainWindow::showScriptLines(const QVector<ConsoleText::ShownLine> &lines)
{
    for (const ConsoleText::ShownLine &line : lines) {
        if (!line.replacesLast) {
            log(line.text);
            continue;
        }
        QTextCursor cursor(ui->textBrowser->document()->lastBlock());
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.insertText(line.text);
    }
}

void MainWindow::flashingEnded()
{
    flashScript->deleteLater();
    flashScript = nullptr;
    ui->pushButton_9->setEnabled(true);
    const bool done = firmwareLogSucceeded(installLog);
    log(done ? "...done" : "...failed");
    restorePending = done;
    if (done)
        openLink();
    else
        on_pushButton_9_clicked();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (flashScript && !confirm("The firmware is being written. Quit anyway? The receiver may not start until "
                                "the installation is repeated.")) {
        event->ignore();
        return;
    }
    if (!flashScript && restorePending
        && !confirm("The receiver's data is not back on it yet. Quit anyway? It stays in the folder files.")) {
        event->ignore();
        return;
    }
    // The script may have ended while the question was open.
    if (flashScript) {
        flashScript->stop();
        delete flashScript;
        flashScript = nullptr;
    }
    event->accept();
}
