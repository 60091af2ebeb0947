#include "installer/installation.h"
#include "installer/backupfolder.h"
#include "installer/flash.h"
#include "installer/steps.h"
#include "storage/batch.h"
#include "storage/filenames.h"

#include <QFile>
#include <QFileInfo>

namespace {
const QString backupFolder = "files";
}

Installation::Installation(const InstallTimings &timings)
    : timings(timings)
{
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
    case State::Restoring:
    case State::Verifying:
        return InstallStep::Restore;
    case State::Asking:
    case State::WaitingForCancel:
        return run.heldStep;
    }
    return InstallStep::Idle;
}

bool Installation::listensToTheLine() const
{
    return run.state == State::Listing || run.state == State::WaitingForReceiver;
}

QString Installation::questionBeforeClosing() const
{
    if (run.state == State::Flashing)
        return "The firmware is being written. Quit anyway? The receiver may not start until the installation is "
               "repeated.";
    if (run.dataNotBack)
        return "The receiver's data is not back on it yet. Quit anyway? It stays in the folder files.";
    return QString();
}

void Installation::act(InstallAction::Kind kind, const QString &text, int number)
{
    InstallAction action(kind);
    action.text = text;
    action.number = number;
    actions.append(action);
}

void Installation::log(const QString &line)
{
    act(InstallAction::Log, line);
}

void Installation::startTimer(Timer timer, int ms)
{
    run.armed.insert(timer);
    InstallAction action(InstallAction::StartTimer);
    action.number = int(timer);
    action.detail = QString::number(ms);
    actions.append(action);
}

void Installation::stopTimers()
{
    for (Timer timer : run.armed)
        act(InstallAction::StopTimer, QString(), int(timer));
    run.armed.clear();
}

// Events.

void Installation::start(const InstallChoices &choices)
{
    run = Run();
    run.choices = choices;
    run.state = State::Connecting;
    act(InstallAction::Begin, "-> Start installation...");
    act(InstallAction::OpenLink);
}

void Installation::linkOpened()
{
    if (run.state != State::Connecting && run.state != State::Reopening)
        return;
    log("...connected to device");
    run.memoryKnown = false;
    if (run.state == State::Connecting) {
        run.state = State::Listing;
        beginListingWait(timings.listingLimitBeforeFlashMs);
    } else {
        run.state = State::WaitingForReceiver;
        beginListingWait(timings.listingLimitAfterFlashMs);
    }
}

void Installation::linkNotOpened()
{
    if (run.state == State::Connecting) {
        waitForCancel(QString("ESP32: can't use the port %1").arg(run.choices.port).trimmed());
    } else if (run.state == State::Reopening) {
        if (++run.reopenAttempts < timings.reopenLimitMs / timings.reopenEveryMs)
            startTimer(Timer::Reopen, timings.reopenEveryMs);
        else
            end(Outcome::Incomplete, "can't open " + run.choices.port + " again");
    }
}

void Installation::linkClosed()
{
    if (run.state != State::Closing)
        return;
    log("...disconnected");
    flash();
}

void Installation::linkLost()
{
    if (!isRunning())
        return;
    // Never flash or restore on a link that is gone.
    end(Outcome::Incomplete, "connection lost");
}

void Installation::lineActive()
{
    if (!listensToTheLine())
        return;
    run.heard = true;
    startTimer(Timer::Quiet, timings.quietBeforeAskingMs);
}

void Installation::memoryAnswered(quint32 total, quint32 used)
{
    if (!listensToTheLine())
        return;
    run.memoryKnown = true;
    run.total = total;
    run.used = used;
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
        stopTimers();
        startRestore();
        return;
    case State::Restoring:
    case State::Verifying:
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
    if (empty)
        log("...skipped");
    saveNextFile();
}

void Installation::fileNotSaved(const QString &reason)
{
    if (run.state == State::BackingUp)
        waitForCancel(reason);
}

void Installation::uploadEnded()
{
    if (run.state == State::Restoring || run.state == State::Verifying)
        act(InstallAction::AskForListing);
}

void Installation::uploadRefused(const QString &reason)
{
    const QString name = run.current >= 0 ? run.restore.at(run.current).name : QString();
    if (run.state == State::Restoring) {
        waitForCancel(reason + " for " + name);
    } else if (run.state == State::Verifying) {
        run.restore.markFailed(run.current);
        log("..." + name + " was not put back whole");
        verifyNextFile();
    }
}

void Installation::readBack(const std::optional<QByteArray> &content)
{
    if (run.state != State::Verifying)
        return;
    const QString name = run.restore.at(run.current).name;
    switch (run.restore.judgeReadBack(run.current, content)) {
    case RestoreCheck::Matches:
        log(name + " ...ok");
        verifyNextFile();
        return;
    case RestoreCheck::SendAgain:
        log(name + " ...differs");
        log("..." + name + " is sent again");
        sendCurrentFile();
        return;
    case RestoreCheck::NotPutBack:
        log(name + " ...differs");
        log("..." + name + " was not put back whole");
        verifyNextFile();
        return;
    }
}

void Installation::flashEnded()
{
    if (run.state != State::Flashing)
        return;
    act(InstallAction::AllowCancel, QString(), 1);
    const bool done = firmwareLogSucceeded(installLogPath);
    log(done ? "...done" : "...failed");
    if (!done) {
        end(Outcome::Incomplete);
        return;
    }
    run.dataNotBack = true;
    reopen();
}

void Installation::timerExpired(Timer timer)
{
    if (run.armed.erase(timer) == 0)
        return;
    switch (timer) {
    case Timer::Check:
        // A receiver that said it holds nothing has nothing to lose: its
        // missing list only passes the backup over.
        if (run.state == State::Listing && run.memoryKnown && run.used == 0) {
            skipBackup();
            return;
        }
        run.checked = true;
        log("...waiting for the receiver to start");
        startTimer(Timer::Quiet, timings.quietBeforeAskingMs);
        return;
    case Timer::Quiet:
        // Bytes came that did not finish the listing, or the receiver is
        // late: once the line is quiet the listing is asked for again.
        if (run.checked || run.heard) {
            run.heard = false;
            act(InstallAction::AskForListing);
        }
        startTimer(Timer::Quiet, timings.quietBeforeAskingMs);
        return;
    case Timer::Limit:
        listingNeverCame();
        return;
    case Timer::Reopen:
        act(InstallAction::OpenLink);
        return;
    }
}

void Installation::answered(Question question, bool yes)
{
    if (run.state != State::Asking || run.question != question)
        return;
    switch (question) {
    case Question::IncompleteBackup:
        if (!yes) {
            end(Outcome::Incomplete, "can't read the file list of the device");
            return;
        }
        log("...installing without a complete backup");
        backUp();
        return;
    case Question::OlderBackup:
        if (!yes)
            run.lostDataFiles.clear();
        backUp();
        return;
    }
}

void Installation::cancel()
{
    // Nothing may interrupt the flash: a half-written firmware is worse than a slow one.
    if (isRunning() && run.state != State::Flashing)
        end(Outcome::Incomplete);
}

// The listing.

void Installation::beginListingWait(int limitMs)
{
    run.heard = run.checked = false;
    startTimer(Timer::Check, timings.checkAfterMs);
    startTimer(Timer::Quiet, timings.quietBeforeAskingMs);
    startTimer(Timer::Limit, limitMs);
    act(InstallAction::AskForListing);
}

void Installation::listingNeverCame()
{
    stopTimers();
    act(InstallAction::GiveUpExchange);
    if (run.afterFlash) {
        end(Outcome::Incomplete, "the receiver did not answer after the firmware was written");
        return;
    }
    // Only a receiver that said it holds nothing goes on without the user's word.
    if (run.memoryKnown && run.total != 0 && run.used == 0) {
        skipBackup();
        return;
    }
    run.listing = ReceiverListing();
    run.listing.whole = false;
    considerListing();
}

void Installation::considerListing()
{
    // The receiver may hold data that can't be saved: the firmware is written
    // over it only on the user's word.
    if (!run.listing.whole) {
        ask(Question::IncompleteBackup);
        return;
    }
    // After a restore that failed the receiver lacks its data files, and
    // "files", the only backup that holds them, is about to be moved aside:
    // the user may have them put back from it.
    run.lostDataFiles.clear();
    for (const QString &name : dataFileNames()) {
        const bool listed = std::any_of(run.listing.entries.cbegin(), run.listing.entries.cend(),
                                        [&name](const ListEntry &entry) { return entry.name == name; });
        if (!listed && QFileInfo(batchUploadSource(name)).isFile())
            run.lostDataFiles << name;
    }
    if (run.lostDataFiles.isEmpty())
        backUp();
    else
        ask(Question::OlderBackup);
}

void Installation::skipBackup()
{
    stopTimers();
    act(InstallAction::GiveUpExchange);
    log("...filesystem not found on device");
    closeLink();
}

void Installation::ask(Question question)
{
    static const QString texts[] = {
        "The files on the receiver can't be read, so they can't be saved. Install the firmware anyway? Its "
        "stations, presets and settings will be lost.",
        "The receiver has lost its stations and settings, and the folder files holds a backup of them. Put that "
        "backup on the receiver after the firmware is written?",
    };
    run.heldStep = InstallStep::Backup;
    run.state = State::Asking;
    run.question = question;
    act(InstallAction::Ask, texts[int(question)], int(question));
}

// The backup.

void Installation::backUp()
{
    run.state = State::BackingUp;
    log(QString());
    log("-> Save data from device:");
    // A backup never mixes with or overwrites an older one.
    if (!prepareBackupFolder(backupFolder, &run.backupMovedTo)) {
        end(Outcome::Incomplete, "can't prepare the backup folder");
        return;
    }
    if (!run.backupMovedTo.isEmpty())
        log("...older backup moved to " + run.backupMovedTo);
    run.row = -1;
    saveNextFile();
}

void Installation::saveNextFile()
{
    if (++run.row < run.listing.entries.size()) {
        log(run.listing.entries.at(run.row).name);
        act(InstallAction::SaveFile, QString(), run.row);
        return;
    }
    if (takeFromOlderBackup())
        closeLink();
}

// The new backup gets the data files the receiver lost from the older one,
// so that the restore puts them back; false when one can't be copied.
bool Installation::takeFromOlderBackup()
{
    for (const QString &name : qAsConst(run.lostDataFiles)) {
        if (!QFile::copy(run.backupMovedTo + "/" + name, batchUploadSource(name))) {
            waitForCancel("PC: can't copy " + name + " from the older backup " + run.backupMovedTo);
            return false;
        }
        log("..." + name + " taken from the older backup " + run.backupMovedTo);
    }
    return true;
}

void Installation::closeLink()
{
    run.state = State::Closing;
    act(InstallAction::CloseLink);
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
        end(Outcome::Incomplete);
        return;
    }
    act(InstallAction::AllowCancel, QString(), 0);
    InstallAction flash(InstallAction::Flash);
    flash.text = run.choices.port;
    flash.detail = run.choices.display;
    actions.append(flash);
}

void Installation::reopen()
{
    run.state = State::Reopening;
    run.afterFlash = true;
    run.reopenAttempts = 0;
    act(InstallAction::OpenLink);
}

// The restore: every data file the backup holds, and the language file.

void Installation::startRestore()
{
    run.state = State::Restoring;
    run.restore.clear();
    for (QString name = nextUploadName(QString(), run.choices.languageCode); !name.isEmpty();
         name = nextUploadName(name, run.choices.languageCode)) {
        const QString source = batchUploadSource(name);
        // A data file the backup lacks is skipped; the language file is always due.
        if (name.endsWith(".lng") || QFile::exists(source))
            run.restore.expect(name, source);
        else
            run.restore.skip(name, source);
    }
    log(QString());
    log("-> Restore data to device:");
    run.current = -1;
    sendNextFile();
}

void Installation::sendNextFile()
{
    while (++run.current < run.restore.size()) {
        RestoreCheck::File &file = run.restore.at(run.current);
        log(file.name);
        if (!QFile::exists(file.source)) {
            act(InstallAction::Status, "file no exist: " + file.source);
            log("...skipped");
            run.restore.markFailed(run.current);
            continue;
        }
        QFile input(file.source);
        if (!input.open(QIODevice::ReadOnly)) {
            act(InstallAction::Status, "PC: can't open uploading file");
            waitForCancel("PC: can't open uploading file for " + file.name);
            return;
        }
        file.content = input.readAll();
        sendCurrentFile();
        return;
    }
    verify();
}

void Installation::sendCurrentFile()
{
    const RestoreCheck::File &file = run.restore.at(run.current);
    InstallAction send(InstallAction::SendFile);
    send.text = file.name;
    send.content = file.content;
    actions.append(send);
}

void Installation::judgeListedSize()
{
    const QString name = run.restore.at(run.current).name;
    std::optional<quint32> size;
    for (const ListEntry &entry : qAsConst(run.listing.entries)) {
        if (entry.name == name)
            size = entry.size;
    }
    switch (run.restore.judgeSize(run.current, size)) {
    case RestoreCheck::Matches:
        if (run.state == State::Verifying)
            readCurrentFile();
        else
            sendNextFile();
        return;
    case RestoreCheck::SendAgain:
        log("..." + name + " is sent again");
        sendCurrentFile();
        return;
    case RestoreCheck::NotPutBack:
        log("..." + name + " was not put back whole");
        if (run.state == State::Verifying)
            verifyNextFile();
        else
            sendNextFile();
        return;
    }
}

// Every file sent is read back into memory (never into "files": the backup
// stays as it is) and compared byte for byte.
void Installation::verify()
{
    run.state = State::Verifying;
    if (run.restore.anyToVerify()) {
        log(QString());
        log("-> Verify restored data:");
    }
    run.current = -1;
    verifyNextFile();
}

void Installation::verifyNextFile()
{
    while (++run.current < run.restore.size()) {
        if (run.restore.isToVerify(run.current)) {
            readCurrentFile();
            return;
        }
    }
    // Success is said only when it is true: every file put back read back whole.
    if (run.restore.allPutBack())
        end(Outcome::Complete);
    else
        end(Outcome::Incomplete);
}

void Installation::readCurrentFile()
{
    const RestoreCheck::File &file = run.restore.at(run.current);
    act(InstallAction::ReadFile, file.name, file.content.size());
}

// The endings.

// Where the installation can't go on by itself, it says why and leaves the
// ending to Cancel.
void Installation::waitForCancel(const QString &reason)
{
    stopTimers();
    act(InstallAction::GiveUpExchange);
    log("..." + reason + "; Cancel ends the installation");
    run.heldStep = step();
    run.state = State::WaitingForCancel;
}

// The one ending, whether the installation is complete, failed or given
// up: the outcome line that is due, then the controls unlocked. Once the
// firmware is written, the receiver's data exists only in "files" until the
// restore has put it back: the user is told where it is. A complete one
// writes the restart request first, so that the port leaving while the
// receiver restarts is no lost link.
void Installation::end(Outcome outcome, const QString &reason)
{
    stopTimers();
    if (outcome == Outcome::Complete) {
        log(QString());
        log("-> Installation complete.");
        act(InstallAction::Restart);
    } else {
        if (!reason.isEmpty())
            log("..." + reason);
        if (run.dataNotBack)
            log("...the saved data was not put back; it is in the folder files");
        act(InstallAction::GiveUpExchange);
    }
    act(InstallAction::End);
    run = Run();
}
