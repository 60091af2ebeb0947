#include "installer/installation.h"
#include "installer/flash.h"
#include "installer/options.h"
#include "installer/steps.h"

// The installation's events, its waits for the receiver, the flash and the
// endings. What comes before the flash is in installer/backingup.cpp, what
// comes after it in installer/restoring.cpp.

namespace {
const QString backupFolder = "files";

}

Installation::Installation(const InstallTimings &timings)
    : limits(timings)
{
}

const InstallTimings &Installation::timings() const
{
    return limits;
}

QVector<InstallAction> Installation::takeActions()
{
    QVector<InstallAction> taken;
    taken.swap(actions);
    return taken;
}

Installation::State Installation::state() const
{
    return run.state;
}

bool Installation::isRunning() const
{
    return run.state != State::Idle;
}

int Installation::step() const
{
    switch (run.state) {
    case State::Idle:
        return InstallStep::Idle;
    case State::Connecting:
    case State::Listing:
        return InstallStep::Connect;
    case State::BackingUp:
        return InstallStep::Backup;
    case State::Closing:
        return InstallStep::Disconnect;
    case State::Flashing:
    case State::Reopening:
    case State::WaitingForReceiver:
        return InstallStep::Flash;
    case State::Comparing:
    case State::Restoring:
    case State::Verifying:
        return InstallStep::Restore;
    case State::Asking:
    case State::Recovering:
    case State::WaitingForCancel:
        return run.heldStep;
    }
    return InstallStep::Idle;
}

bool Installation::listensToTheLine() const
{
    return run.state == State::Listing || run.state == State::WaitingForReceiver || run.state == State::Recovering;
}

QString Installation::questionBeforeClosing() const
{
    if (run.state == State::Flashing)
        return "The firmware is being written. Quit anyway? The receiver may not start until the installation is "
               "repeated.";
    const QString folders = run.dataNotBack ? dataFolders() : notBackAfterEnd;
    if (!folders.isEmpty())
        return "The receiver's data is not back on it yet. Quit anyway? It stays in the " + folders + ".";
    return QString();
}

void Installation::act(InstallAction::Kind kind, const QString &text, int number, qint64 value)
{
    InstallAction action(kind);
    action.text = text;
    action.number = number;
    action.value = value;
    actions.append(action);
}

void Installation::enter(InstallProgress::Phase phase)
{
    act(InstallAction::Progress, QString(), int(phase));
}

void Installation::log(const QString &line)
{
    act(InstallAction::Log, line);
}

void Installation::startTimer(Timer timer, int ms)
{
    act(InstallAction::StartTimer, QString(), int(timer), ms);
}

void Installation::stopTimer(Timer timer)
{
    act(InstallAction::StopTimer, QString(), int(timer));
}

void Installation::stopTimers()
{
    for (int timer = 0; timer < timerCount; ++timer)
        act(InstallAction::StopTimer, QString(), timer);
}

// Each timer belongs to a wait of its own: an expiry that comes once that
// wait is over means nothing.
bool Installation::waitsFor(Timer timer) const
{
    switch (timer) {
    case Timer::Check:
    case Timer::Quiet:
        return listensToTheLine();
    case Timer::Limit:
        return listensToTheLine() || run.state == State::Reopening;
    case Timer::Reopen:
    case Timer::PortWait:
        return run.state == State::Reopening;
    case Timer::Exchange:
        return run.state == State::BackingUp || run.state == State::Comparing || run.state == State::Restoring
            || run.state == State::Verifying;
    }
    return false;
}

void Installation::ask(Question question, const QString &text, bool yesByDefault)
{
    run.heldStep = question == Question::OtherData ? InstallStep::Restore : InstallStep::Backup;
    run.state = State::Asking;
    run.question = question;
    act(InstallAction::Ask, text, int(question), yesByDefault);
}

// Events.

void Installation::start(const InstallChoices &choices)
{
    run = Run();
    notBackAfterEnd.clear();
    run.choices = choices;
    run.state = State::Connecting;
    act(InstallAction::Begin, "-> Start installation...");
    enter(InstallProgress::Phase::Listing);
    act(InstallAction::OpenLink, run.choices.port);
}

void Installation::linkOpened()
{
    if (run.state != State::Connecting && run.state != State::Reopening)
        return;
    log("...connected to device");
    if (run.state == State::Connecting) {
        run.state = State::Listing;
        beginListingWait(limits.listingLimitBeforeFlashMs);
    } else {
        stopTimers();
        run.state = State::WaitingForReceiver;
        beginListingWait(limits.listingLimitAfterFlashMs);
    }
}

void Installation::linkNotOpened(QSerialPort::SerialPortError error)
{
    if (run.state == State::Connecting) {
        stopTimers();
        act(InstallAction::GiveUpExchange);
        log(QString("...ESP32: can't use the port %1").arg(run.choices.port).trimmed() + "; Cancel ends the installation");
        log("..." + nextStepFor(Trouble::PortNotOpened, error));
        run.heldStep = step();
        run.state = State::WaitingForCancel;
        return;
    }
    if (run.state != State::Reopening)
        return;
    if (!run.portAway) {
        run.portAway = true;
        startTimer(Timer::Limit, limits.reopenLimitMs);
        startTimer(Timer::PortWait, limits.portWaitSaidMs);
    }
    startTimer(Timer::Reopen, limits.reopenEveryMs);
    act(InstallAction::ListPorts);
}

void Installation::linkClosed()
{
    if (run.state != State::Closing)
        return;
    log("...disconnected");
    flash();
}

void Installation::linkLost(const QString &words)
{
    // Never flash or restore on a link that is gone.
    if (isRunning())
        end(Outcome::Incomplete, words, Trouble::LinkLost);
}

// Bytes came while a listing was awaited: an answer under way, or noise.
// The listing is asked for again only once the line is quiet.
void Installation::lineActive()
{
    if (!listensToTheLine())
        return;
    run.heard = true;
    startTimer(Timer::Quiet, quietBeforeAsking());
}

void Installation::listed(const ReceiverListing &listing)
{
    switch (run.state) {
    case State::Listing:
        stopTimers();
        run.listing = listing;
        considerListing();
        return;
    case State::WaitingForReceiver:
        // Only a true listing tells what the restore would write over.
        if (!canBeTrue(listing)) {
            lineActive();
            return;
        }
        stopTimers();
        run.listing = listing;
        compareReceiverFiles();
        return;
    case State::Recovering:
        stopTimers();
        // After the flash the figures of the latest listing decide what fits.
        if (run.afterFlash && listing.whole)
            run.listing = listing;
        resume();
        return;
    case State::Restoring:
    case State::Verifying:
        stopTimer(Timer::Exchange);
        run.listing = listing;
        judgeListedSize();
        return;
    default:
        return;
    }
}

void Installation::fileSaved(bool empty)
{
    if (run.state != State::BackingUp)
        return;
    stopTimer(Timer::Exchange);
    if (empty)
        log("...skipped");
    else
        run.saved << run.listing.entries.at(run.row).name;
    saveNextFile();
}

void Installation::fileNotSaved(const QString &reason)
{
    if (run.state == State::BackingUp)
        waitForCancel(reason, reason.startsWith("PC:") ? Trouble::PcFault : Trouble::ReceiverFault);
}

void Installation::restarted()
{
    if (listensToTheLine()) {
        // What was asked before the restart will not be answered: it is
        // asked again as soon as the boot text has ended.
        run.restartSeen = true;
        startTimer(Timer::Quiet, quietBeforeAsking());
        return;
    }
    const bool transferring = run.state == State::BackingUp || run.state == State::Comparing
                           || run.state == State::Restoring || run.state == State::Verifying;
    if (transferring && run.transfer != Transfer::None)
        interrupted(true);
}

void Installation::portsSeen(const QVector<SeenPort> &ports)
{
    if (run.state == State::Flashing) {
        run.portsBefore = ports;
        return;
    }
    if (run.state != State::Reopening)
        return;
    const QString back = portComeBack(run.portsBefore, ports, run.choices.port);
    if (back.isEmpty())
        return;
    stopTimer(Timer::Reopen);
    log("...the receiver is back on " + back);
    run.choices.port = back;
    act(InstallAction::SelectPort, back);
    act(InstallAction::OpenLink, back);
}

void Installation::flashEnded()
{
    if (run.state != State::Flashing)
        return;
    act(InstallAction::AllowCancel, QString(), 1);
    const bool done = firmwareLogSucceeded(installLogPath);
    log(done ? "...done" : "...failed");
    if (!done) {
        end(Outcome::Incomplete, QString(), Trouble::FlasherFailed);
        return;
    }
    reopen();
}

void Installation::timerExpired(Timer timer)
{
    if (!waitsFor(timer))
        return;
    switch (timer) {
    case Timer::Check:
        log("...waiting for the receiver to start");
        if (!run.heard && !run.afterFlash)
            log("..." + nextStepFor(Trouble::NothingAnswers));
        return;
    case Timer::Quiet:
        askForListing();
        return;
    case Timer::Limit:
        if (run.state == State::Reopening)
            portNotBack();
        else
            listingNeverCame();
        return;
    case Timer::Reopen:
        act(InstallAction::OpenLink, run.choices.port);
        return;
    case Timer::PortWait:
        log("...waiting for " + run.choices.port + " to come back");
        return;
    case Timer::Exchange:
        interrupted(false);
        return;
    }
}

void Installation::answered(Question question, Answer answer)
{
    if (run.state != State::Asking || run.question != question)
        return;
    switch (question) {
    case Question::IncompleteBackup:
        if (answer != Answer::Yes) {
            // A silent receiver's next step was said while it was waited for.
            end(Outcome::Incomplete, "can't read the file list of the device",
                run.heard ? std::optional<Trouble>(Trouble::ReceiverFault) : std::nullopt);
            return;
        }
        log("...installing without a complete backup");
        backUpUnlessNothingToLose();
        return;
    case Question::PendingRecord:
        answeredOffer(answer);
        return;
    case Question::OtherData:
        if (answer == Answer::Yes) {
            recordOthersData();
            startRestore();
        } else {
            end(Outcome::Incomplete, QString(), Trouble::OtherReceiver);
        }
        return;
    case Question::Language:
        if (answer != Answer::Yes) {
            run.choices.languageCode = run.receiverLanguage;
            log("...the receiver's own language, " + languageName(run.receiverLanguage) + ", is put back");
        }
        if (recordThisTry())
            closeLink();
        return;
    }
}

void Installation::answeredOffer(Answer answer)
{
    const RestoreRecord &offered = *run.offered;
    const QString folders = inFolders(offered.dataFolders());
    switch (answer) {
    case Answer::Yes:
        run.takeOffered = true;
        considerLanguage();
        return;
    case Answer::No:
        log("...the data saved on " + offered.savedOn() + " stays in the " + folders + "; it is offered again next time");
        break;
    case Answer::Forget:
        if (removeRecord(offered.folder))
            log("...the data saved on " + offered.savedOn() + " is not offered any more; it stays in the " + folders);
        else
            log("...PC: can't remove the record in the folder " + offered.folder);
        break;
    }
    offerNextRecord();
}

void Installation::cancel()
{
    // Nothing may interrupt the flash: a half-written firmware is worse than a slow one.
    if (isRunning() && run.state != State::Flashing)
        end(Outcome::Incomplete, "cancelled", Trouble::Cancelled);
}

// The waits for the receiver's listing.

void Installation::beginListingWait(int limitMs)
{
    startTimer(Timer::Check, limits.checkAfterMs);
    startTimer(Timer::Limit, limitMs);
    askForListing();
}

void Installation::askForListing()
{
    run.restartSeen = false;
    act(InstallAction::AskForListing);
    startTimer(Timer::Quiet, quietBeforeAsking());
}

// A receiver that answers late must be given its time before it is asked
// again, or answers and requests fall out of step; one that restarted will
// never answer what it was asked before.
int Installation::quietBeforeAsking() const
{
    return run.restartSeen ? limits.quietAfterBootTextMs : limits.lateAnswerMs;
}

void Installation::listingNeverCame()
{
    if (run.state == State::Recovering) {
        const QString cause = "the receiver stopped answering during " + run.transferName;
        if (run.afterFlash)
            end(Outcome::Incomplete, cause, Trouble::ReceiverAfterFlash);
        else
            waitForCancel(cause, Trouble::ReceiverFault);
        return;
    }
    stopTimers();
    act(InstallAction::GiveUpExchange);
    if (run.afterFlash) {
        end(Outcome::Incomplete, "the receiver did not answer after the firmware was written", Trouble::ReceiverAfterFlash);
        return;
    }
    run.listing = ReceiverListing();
    run.listing.whole = false;
    considerListing();
}

// The firmware step. Nothing can interrupt it: Cancel is locked while it runs.

void Installation::flash()
{
    run.state = State::Flashing;
    log(QString());
    log("-> Install firmware...");
    // A log that stays from an earlier run would count as this one's success.
    if (!removeStaleInstallLog()) {
        log("...failed");
        end(Outcome::Incomplete, "PC: can't remove the flasher's old log " + installLogPath, Trouble::FlasherLog);
        return;
    }
    act(InstallAction::Status, "writing the firmware, please wait...");
    enter(InstallProgress::Phase::Flash);
    act(InstallAction::AllowCancel, QString(), 0);
    // From here on the flasher may have erased the receiver: the data this
    // try saved is only on the PC until it is back.
    run.dataNotBack = !run.plan.files.isEmpty();
    // The ports as they are now, to tell the receiver's port if it comes back under another name.
    act(InstallAction::ListPorts);
    InstallAction flash(InstallAction::Flash);
    flash.text = run.choices.port;
    flash.detail = run.choices.display;
    actions.append(flash);
}

void Installation::reopen()
{
    run.state = State::Reopening;
    run.afterFlash = true;
    act(InstallAction::OpenLink, run.choices.port);
}

void Installation::portNotBack()
{
    stopTimers();
    end(Outcome::Incomplete, "can't open " + run.choices.port + " again", Trouble::PortNotBack);
}

// The endings.

// Where the installation can't go on by itself, it says why and leaves the
// ending to Cancel.
void Installation::waitForCancel(const QString &reason, Trouble trouble)
{
    stopTimers();
    act(InstallAction::GiveUpExchange);
    log("..." + reason + "; Cancel ends the installation");
    log("..." + nextStepFor(trouble));
    run.heldStep = step();
    run.state = State::WaitingForCancel;
}

QString Installation::nextStepFor(Trouble trouble, QSerialPort::SerialPortError error) const
{
    return nextStep(trouble, { run.choices.port, error, run.choices.ports, run.dataNotBack });
}

// The one ending, whether the installation is complete, failed or given
// up: the outcome line that is due, then the controls unlocked. Once the
// firmware is written, the receiver's data exists only on the PC until the
// restore has put it back: the user is told where it is. A complete one
// writes the restart request first, so that the port leaving while the
// receiver restarts is no lost link.
void Installation::end(Outcome outcome, const QString &reason, std::optional<Trouble> trouble)
{
    stopTimers();
    if (outcome == Outcome::Complete) {
        nameFilesNotPutBack();
        enter(InstallProgress::Phase::Done);
        log(QString());
        log("-> Installation complete.");
        act(InstallAction::Restart);
    } else {
        if (!reason.isEmpty())
            log("..." + reason);
        if (run.dataNotBack) {
            log("...the saved data was not put back; it is in the " + dataFolders());
            notBackAfterEnd = dataFolders();
        }
        nameFilesNotPutBack();
        if (trouble)
            log("..." + nextStepFor(*trouble));
        act(InstallAction::Status, trouble == Trouble::Cancelled ? "installation cancelled"
                                                                 : "installation not complete: see the log pane");
        act(InstallAction::GiveUpExchange);
    }
    act(InstallAction::End);
    run = Run();
}

// Once the firmware is written, the saved files no restore puts back lie
// only in the backup: the log says so.
void Installation::nameFilesNotPutBack()
{
    if (run.restore.size() == 0)
        return;
    QStringList notBack = run.saved;
    for (int index = 0; index < run.restore.size(); ++index)
        notBack.removeAll(run.restore.at(index).name);
    if (!notBack.isEmpty())
        log("..." + notBack.join(", ") + " stay saved in the folder " + backupFolder + "; they are not put back");
}

QString Installation::dataFolders() const
{
    const QStringList folders = run.plan.dataFolders();
    return inFolders(folders.isEmpty() ? QStringList{ backupFolder } : folders);
}
