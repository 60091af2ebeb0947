#include "installer/flash.h"
#include "app/mainwindow.h"
#include "app/session.h"
#include "installer/scriptrun.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextStream>

const QString installLogPath = "firmware/install.log";

bool removeStaleInstallLog()
{
    return !QFile::exists(installLogPath) || QFile::remove(installLogPath);
}

bool firmwareLogSucceeded(const QString &logPath)
{
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QTextStream lines(&log);
    QString line;
    while (lines.readLineInto(&line)) {
        if (line.contains("RTS"))
            return true;
    }
    return false;
}

// The flashing script runs in the background, so the window stays served
// and shows the flasher's lines.
void MainWindow::startFlashing(const QString &port, const QString &display)
{
    flashScript = new ScriptRun(this);
    connect(flashScript, &ScriptRun::linesShown, this, &MainWindow::showScriptLines);
    connect(flashScript, &ScriptRun::ended, this, [this] {
        flashScript->deleteLater();
        flashScript = nullptr;
        report([this] { installation.flashEnded(); });
    });
    flashScript->start("flash", { port, display });
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

// A close can't wait for an event: the installation is asked at once.
void MainWindow::closeEvent(QCloseEvent *event)
{
    const QString question = installation.questionBeforeClosing();
    if (!question.isEmpty() && !confirm(question)) {
        event->ignore();
        return;
    }
    // The script may have ended while the question was open.
    if (flashScript) {
        flashScript->stop();
        delete flashScript;
        flashScript = nullptr;
    }
    delete openQuestion;
    event->accept();
}
