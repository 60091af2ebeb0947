#include "app/mainwindow.h"
#include "app/session.h"
#include "device/connection.h"
#include "device/frames.h"
#include "installer/steps.h"
#include "ui_mainwindow.h"

#include <QTimer>

// The window's side of the installation: it feeds the engine what happened
// and carries out what the engine answers. Reports from the port's
// notifications wait for the event loop's next pass, so that no step starts
// inside one.

void MainWindow::on_pushButton_Install_clicked()
{
    if (connected)
        on_pushButton_3_clicked();
    safety = SafetyState();
    installation.start({ ui->comboBox->currentText(), ui->comboBox_2->currentText(),
                         lang[ui->comboBox_language->currentIndex()] });
    carryOutActions();
}

// Takes the next steps: the installation hears what was reported since it
// last acted, in order, and each answer is carried out.
void MainWindow::Install()
{
    if (deliveringReports)
        return;     // a box opened while an answer was carried out; the outer pass goes on
    deliveringReports = true;
    while (!reports.isEmpty()) {
        const std::function<void()> report = reports.takeFirst();
        report();
        carryOutActions();
    }
    deliveringReports = false;
}

void MainWindow::report(const std::function<void()> &event)
{
    if (!installation.isRunning())
        return;
    reports.append(event);
    QMetaObject::invokeMethod(this, &MainWindow::Install, Qt::QueuedConnection);
}

void MainWindow::on_pushButton_9_clicked()
{
    installation.cancel();
    carryOutActions();
}

void MainWindow::countDown()
{
    timerExpired(Installation::Timer::Check);
}

void MainWindow::timerExpired(Installation::Timer timer)
{
    const int run = timerRuns[int(timer)];
    report([this, timer, run] {
        // A timer started again or stopped since it ran out: that expiry is over.
        if (run == timerRuns[int(timer)])
            installation.timerExpired(timer);
    });
}

void MainWindow::setTimings(const InstallTimings &shorter)
{
    installation = Installation(shorter);
    replyQuiet->setInterval(shorter.downloadQuietMs);
}

void MainWindow::setPortLister(const std::function<QVector<SeenPort>()> &lister)
{
    listPorts = lister;
}

void MainWindow::carryOutActions()
{
    for (const InstallAction &action : installation.takeActions())
        carryOut(action);
    installStat = installation.step();
}

void MainWindow::carryOut(const InstallAction &action)
{
    switch (action.kind) {
    case InstallAction::Begin:
        setControlsLocked(true);
        ui->pushButton_9->show();
        ui->textBrowser->setText(action.text);
        return;
    case InstallAction::Log:
        log(action.text);
        return;
    case InstallAction::Status:
        showStatus(action.text);
        return;
    case InstallAction::OpenLink:
        showStatus(QString());
        resetStorageView();
        if (openLink())
            report([this] { installation.linkOpened(); });
        else
            report([this] { installation.linkNotOpened(); });
        return;
    case InstallAction::CloseLink:
        closeLink();
        report([this] { installation.linkClosed(); });
        return;
    case InstallAction::Flash:
        startFlashing(action.text, action.detail);
        return;
    case InstallAction::Ask:
        askQuestion(Installation::Question(action.number), action.text, action.value != 0);
        return;
    case InstallAction::ListPorts: {
        const QVector<SeenPort> ports = listPorts();
        report([this, ports] { installation.portsSeen(ports); });
        return;
    }
    case InstallAction::SelectPort:
        if (ui->comboBox->findText(action.text) < 0)
            ui->comboBox->addItem(action.text);
        ui->comboBox->setCurrentText(action.text);
        return;
    case InstallAction::StartTimer:
        ++timerRuns[action.number];
        installTimers[action.number].start(int(action.value));
        return;
    case InstallAction::StopTimer:
        stopInstallTimer(action.number);
        return;
    case InstallAction::AllowCancel:
        ui->pushButton_9->setEnabled(action.number != 0);
        return;
    case InstallAction::GiveUpExchange:
        giveUpExchange();
        return;
    case InstallAction::End:
        endInstallation();
        return;
    default:
        break;
    }
    // The rest talk to the receiver. A link that is gone has had its loss
    // reported, which ends the installation.
    if (!connected)
        return;
    switch (action.kind) {
    case InstallAction::AskForListing:
        giveUpExchange();
        startRequest(Mode::Memory);
        return;
    case InstallAction::SaveFile:
        saveRow(action.number, action.text, quint32(action.value));
        return;
    case InstallAction::ReadFile:
        readIntoMemory(action.text, quint32(action.value));
        return;
    case InstallAction::SendFile:
        sendFile(action.text, action.content);
        return;
    case InstallAction::Restart:
        installStat = InstallStep::Complete;
        on_pushButton_8_clicked();
        return;
    default:
        return;
    }
}

void MainWindow::askQuestion(Installation::Question question, const QString &text, bool yesByDefault)
{
    // Shown without a loop of its own: the answer comes back as an event.
    const bool flashAnyway = question == Installation::Question::IncompleteBackup;
    auto *box = new QMessageBox(question == Installation::Question::PendingRecord ? QMessageBox::Question : QMessageBox::Warning,
                                QString(), text,
                                flashAnyway ? QMessageBox::Yes | QMessageBox::Cancel : QMessageBox::Yes | QMessageBox::No);
    const QMessageBox::StandardButton no = flashAnyway ? QMessageBox::Cancel : QMessageBox::No;
    box->setDefaultButton(yesByDefault ? QMessageBox::Yes : no);
    box->setWindowModality(Qt::ApplicationModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box, question] {
        const bool yes = box->clickedButton() == box->button(QMessageBox::Yes);
        report([this, question, yes] { installation.answered(question, yes); });
    });
    openQuestion = box;
    box->show();
}

// Ends the installation, whether it is complete, failed or given up.
void MainWindow::endInstallation()
{
    reports.clear();
    // The installation stopped its own; one a box's loop let start late goes too.
    for (int timer = 0; timer < Installation::timerCount; ++timer)
        stopInstallTimer(timer);
    delete openQuestion;
    nextFileNameUpload.clear();
    currentRowDownloadAll = -1;
    ui->pushButton_9->hide();
    ui->pushButton_9->setEnabled(true);
    setControlsLocked(false);
}

void MainWindow::stopInstallTimer(int timer)
{
    ++timerRuns[timer];
    installTimers[timer].stop();
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

// What the link and the transfers report: the installation hears it while
// it runs; otherwise the file manager's own batches go on.

void MainWindow::lineActive()
{
    if (installation.listensToTheLine())
        report([this] { installation.lineActive(); });
}

void MainWindow::receiverRestarted()
{
    report([this] { installation.restarted(); });
}

void MainWindow::listingEnded(const ReceiverListing &listing)
{
    if (installation.isRunning()) {
        report([this, listing] {
            // Bytes behind the listing mean it can't be trusted either.
            ReceiverListing heard = listing;
            heard.whole = heard.whole && recived.isEmpty();
            installation.listed(heard);
        });
    } else if (!nextFileNameUpload.isEmpty()) {
        // A batch upload sends its next file from the event loop, so that a
        // refusal's box never opens inside the port's notification.
        QTimer::singleShot(0, this, &MainWindow::on_pushButton_UploadAll_clicked);
    }
}

void MainWindow::downloadEnded(Saved outcome, const QString &problem)
{
    if (installation.isRunning()) {
        currentRowDownloadAll = -1;     // the installation's cursor is the row being saved
        if (outcome == Saved::No)
            report([this, problem] { installation.fileNotSaved(problem); });
        else
            report([this, outcome] { installation.fileSaved(outcome == Saved::Empty); });
        return;
    }
    if (outcome == Saved::Empty)
        log("...skipped");
    else if (outcome == Saved::No)
        log(problem);
    if (currentRowDownloadAll < 0)
        return;
    if (outcome == Saved::No)
        currentRowDownloadAll = -1;
    else
        QTimer::singleShot(0, this, &MainWindow::on_pushButton_DownloadAll_clicked);
}

void MainWindow::readBackEnded(const std::optional<QByteArray> &content)
{
    report([this, content] { installation.readBack(content); });
}

void MainWindow::uploadEnded()
{
    if (installation.isRunning())
        report([this] { installation.uploadEnded(); });
    else
        startRequest(Mode::Memory);     // the storage figures and the file table refreshed
}

void MainWindow::sendFile(const QString &name, const QByteArray &content)
{
    const QString refused = startUpload(name, content);
    if (!refused.isEmpty())
        report([this, refused] { installation.uploadRefused(refused); });
}

// A running installation says it and ends; the file manager says it alone.
void MainWindow::linkLost()
{
    if (installation.isRunning())
        report([this] { installation.linkLost(); });
    else
        log("...connection lost");
}
