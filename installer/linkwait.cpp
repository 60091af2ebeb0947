#include "app/mainwindow.h"
#include "app/session.h"
#include "device/connection.h"
#include "device/frames.h"
#include "installer/startwait.h"
#include "installer/steps.h"
#include "ui_mainwindow.h"

#include <QTimer>

// Opening the link at the steps that list the receiver's files next, and
// waiting for that list.

namespace {
// How long the receiver's file list may take to come after the link opened:
// a receiver in use answers at once; one that was just flashed may first
// format its file system.
constexpr int listingLimitBeforeFlashMs = 10000;
constexpr int listingLimitAfterFlashMs = 60000;
// A board with a USB port of its own leaves the PC while it restarts.
constexpr int reopenAttemptsAfterFlash = 30;
constexpr int reopenEveryMs = 1000;
}

// Opens the link at the steps that list the receiver's files next. After the
// flash the port may be away for a while, and is tried again.
void MainWindow::openLink()
{
    on_pushButton_3_clicked();
    if (connected) {
        reopenAttempts = 0;
        startWait->start(installStat == InstallStep::Connect ? listingLimitBeforeFlashMs : listingLimitAfterFlashMs);
        return;
    }
    const QString port = ui->comboBox->currentText();
    if (installStat == InstallStep::Connect) {
        waitForCancel(QString("ESP32: can't use the port %1").arg(port).trimmed());
        return;
    }
    if (++reopenAttempts < reopenAttemptsAfterFlash) {
        const quint64 run = installRun;
        QTimer::singleShot(reopenEveryMs, this, [this, run] {
            if (run == installRun)
                openLink();
        });
        return;
    }
    log("...can't open " + port + " again");
    on_pushButton_9_clicked();
}

// Three seconds without the file list: the receiver may still be starting.
void MainWindow::countDown()
{
    if (mode != Mode::Memory && mode != Mode::List)
        return;
    // A receiver that said it holds nothing has nothing to lose: its missing
    // list only passes the backup over.
    if (installStat == InstallStep::Connect && mode == Mode::List && usedMemory == 0) {
        startWait->stop();
        giveUpExchange();
        log("...filesystem not found on device");
        installStat = InstallStep::Backup;
        Install();
        return;
    }
    log("...waiting for the receiver to start");
}

void MainWindow::askForListingAgain()
{
    if (mode != Mode::Memory && mode != Mode::List)
        return;
    giveUpExchange();
    startRequest(Mode::Memory);
}

void MainWindow::listingNeverCame()
{
    if (mode != Mode::Memory && mode != Mode::List)
        return;
    giveUpExchange();
    if (installStat == InstallStep::Flash) {
        log("...the receiver did not answer after the firmware was written");
        on_pushButton_9_clicked();
        return;
    }
    // Only a receiver that said it holds nothing goes on without the user's word.
    if (totalMemory != 0 && usedMemory == 0) {
        log("...filesystem not found on device");
        installStat = InstallStep::Backup;
    } else {
        listWhole = false;
    }
    Install();
}
