#include "installer/installation.h"
#include "device/frames.h"
#include "installer/backupfolder.h"
#include "installer/wirebytes.h"
#include "storage/batch.h"
#include "storage/filenames.h"
#include "storage/upload.h"
#include "storage/wholefile.h"

#include <QDir>
#include <QFile>

#include <algorithm>

// The installation after the flash: what the receiver holds is compared
// with what is to go back, the files are sent and read back, and a transfer
// the receiver cut short is taken up again once it answers.

namespace {
const QString backupFolder = "files";
}

// Data that isn't ours is not written over unasked: the receiver's own
// copies of the files the restore writes are read and compared first.
void Installation::compareReceiverFiles()
{
    run.toCompare.clear();
    run.othersData.clear();
    for (const RecordedFile &file : qAsConst(run.plan.files)) {
        for (const ListEntry &entry : qAsConst(run.listing.entries)) {
            if (entry.name == file.name)
                run.toCompare << file.name;
        }
    }
    if (run.toCompare.isEmpty()) {
        startRestore();
        return;
    }
    run.state = State::Comparing;
    run.compared = -1;
    compareNextFile();
}

void Installation::compareNextFile()
{
    if (++run.compared < run.toCompare.size()) {
        readCompared();
        return;
    }
    if (run.othersData.isEmpty()) {
        startRestore();
        return;
    }
    // Saved before anything is written over them, in a folder of their own.
    QString aside = takeFreshBackupName([](const QString &name) { return QDir().mkdir(name); });
    QStringList saved;
    for (auto it = run.othersData.cbegin(); it != run.othersData.cend() && !aside.isEmpty(); ++it) {
        if (it.value().isNull())
            continue;
        if (!saveWhole(aside + "/" + it.key(), it.value())) {
            aside.clear();
            break;
        }
        saved << it.key();
    }
    if (aside.isEmpty()) {
        waitForCancel("PC: can't save the receiver's own files in a folder of their own", Trouble::PcFault);
        return;
    }
    run.othersFolder = aside;
    if (!saved.isEmpty())
        log("...the receiver's own " + saved.join(", ") + " saved in the folder " + aside);
    ask(Question::OtherData,
        "The receiver on " + run.choices.port + " holds other stations and settings than the ones saved before the "
        "firmware was written. Put the saved ones over them?",
        false);
}

// Written over at the user's word, the receiver's own data lies only in the
// folder it was saved in: a record of its own, the newest, has later tries
// name it and offer it.
void Installation::recordOthersData()
{
    RestoreRecord others;
    others.folder = run.othersFolder;
    QStringList names;
    for (auto it = run.othersData.cbegin(); it != run.othersData.cend(); ++it) {
        if (it.value().isNull())
            continue;
        others.files.append({ it.key(), others.folder, it.value().size(), sha256Of(it.value()) });
        names << it.key();
    }
    if (names.isEmpty())
        return;
    others.sequence = qMin(run.nextSequence + 2, largestSequence);
    others.saved = QDateTime::currentDateTime();
    if (writeRecord(others))
        log("...the receiver's own " + names.join(", ") + " stay in the folder " + others.folder + ", to be offered next time");
    else
        log("...PC: can't write the record of the receiver's own " + names.join(", ") + " in the folder " + others.folder);
}

void Installation::readCompared()
{
    const QString name = run.toCompare.at(run.compared);
    qint64 size = 0;
    for (const ListEntry &entry : qAsConst(run.listing.entries)) {
        if (entry.name == name)
            size = entry.size;
    }
    run.transfer = Transfer::Read;
    run.transferName = name;
    startTimer(Timer::Exchange, limits.exchangeLimitMs(downloadWireBytes(name, size)));
    act(InstallAction::ReadFile, name, 0, size);
}

// The same data as the one to go back, or as this try's own backup of it,
// is no other data; nor is an empty file.
void Installation::judgeCompared(const std::optional<QByteArray> &content)
{
    const QString name = run.toCompare.at(run.compared);
    if (content && (content->isEmpty() || sha256Of(*content) == run.plan.file(name)->sha256))
        return;
    QFile ownBackup(backupFolder + "/" + name);
    if (content && !run.nothingToLose && ownBackup.open(QIODevice::ReadOnly) && ownBackup.readAll() == *content)
        return;
    if (!content)
        log("...the receiver's " + name + " can't be read, so it is not saved");
    run.othersData.insert(name, content.value_or(QByteArray()));
}

// The restore: the data files this try recorded, each from the folder that
// holds it, and the language file. The data files a backup lacks are
// skipped where they come; after a skipped backup only the language file is
// listed.
void Installation::startRestore()
{
    run.state = State::Restoring;
    run.restore.clear();
    const QString code = run.choices.languageCode;
    for (QString name = nextUploadName(QString(), code); !name.isEmpty(); name = nextUploadName(name, code)) {
        if (const RecordedFile *recorded = run.plan.file(name))
            run.restore.expect(name, recorded->path());
        else if (name.endsWith(".lng"))
            run.restore.expect(name, batchUploadSource(name));
        else if (!run.nothingToLose)
            run.restore.skip(name, batchUploadSource(name));
    }
    act(InstallAction::Status, "putting the data back...");
    enter(InstallProgress::Phase::Restore);
    log(QString());
    log("-> Restore data to device:");
    run.current = -1;
    sendNextFile();
}

// A file that can't be read on the PC is not put back; the others still are.
void Installation::sendNextFile()
{
    while (++run.current < run.restore.size()) {
        RestoreCheck::File &file = run.restore.at(run.current);
        const RecordedFile *recorded = run.plan.file(file.name);
        log(file.name);
        if (recorded && recorded->folder != backupFolder)
            log("...put back from the folder " + recorded->folder);
        const UploadSource source = readUploadSource(file.source);
        if (!source.problem.isEmpty()) {
            act(InstallAction::Status, source.problem);
            log(source.missing ? "...skipped" : "..." + source.problem + " for " + file.name);
            run.restore.markFailed(run.current);
            continue;
        }
        file.content = source.content;
        if (recorded && sha256Of(file.content) != recorded->sha256) {
            log("...PC: " + file.source + " is not as it was saved");
            run.restore.markFailed(run.current);
            continue;
        }
        sendCurrentFile();
        return;
    }
    verify();
}

void Installation::sendCurrentFile()
{
    const RestoreCheck::File &file = run.restore.at(run.current);
    // Refused before anything is sent, and the box that says so is not
    // waited for: the installation waits for Cancel meanwhile.
    if (!fitsInFreeSpace(file.content.size(), run.listing.total, run.listing.used)) {
        act(InstallAction::Refuse, notEnoughSpaceWords());
        if (run.state == State::Verifying)
            notPutBack();
        else
            waitForCancel(notEnoughSpaceWords() + " for " + file.name, Trouble::NoRoom);
        return;
    }
    run.transfer = Transfer::Send;
    run.transferName = file.name;
    startTimer(Timer::Exchange, limits.exchangeLimitMs(uploadWireBytes(file.name, file.content.size())));
    InstallAction send(InstallAction::SendFile);
    send.text = file.name;
    send.content = file.content;
    actions.append(send);
}

void Installation::uploadEnded()
{
    if (run.state != State::Restoring && run.state != State::Verifying)
        return;
    stopTimer(Timer::Exchange);
    run.transfer = Transfer::ListAfterSend;
    // The figures, then the list: two exchanges, each answered late at worst.
    startTimer(Timer::Exchange, limits.exchangeLimitMs(listingWireBytes(run.listing, run.transferName), 2));
    act(InstallAction::AskForListing);
}

void Installation::judgeListedSize()
{
    run.transfer = Transfer::None;
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
        notPutBack();
        return;
    }
}

// The current file is not put back; the restore goes on with the next one.
void Installation::notPutBack()
{
    run.restore.markFailed(run.current);
    log("..." + run.restore.at(run.current).name + " was not put back whole");
    if (run.state == State::Verifying)
        verifyNextFile();
    else
        sendNextFile();
}

// Every file sent is read back into memory (never into "files": the backup
// stays as it is) and compared byte for byte.
void Installation::verify()
{
    run.state = State::Verifying;
    enter(InstallProgress::Phase::Verify);
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
    if (!run.restore.allPutBack()) {
        end(Outcome::Incomplete, QString(), Trouble::ReceiverAfterFlash);
        return;
    }
    run.dataNotBack = false;
    retireRecordsPutBack();
    end(Outcome::Complete);
}

// A record goes once every file of it was read back equal from the receiver.
void Installation::retireRecordsPutBack()
{
    QMap<QString, QByteArray> back;
    for (int index = 0; index < run.restore.size(); ++index) {
        const RestoreCheck::File &file = run.restore.at(index);
        if (file.back)
            back.insert(file.name, sha256Of(file.content));
    }
    for (const std::optional<RestoreRecord> &record : { run.takeOffered ? run.offered : std::nullopt, run.ownRecord }) {
        if (!record)
            continue;
        const bool allBack = std::all_of(record->files.cbegin(), record->files.cend(), [&back](const RecordedFile &file) {
            return back.value(file.name) == file.sha256;
        });
        if (allBack && !removeRecord(record->folder))
            log("...PC: can't remove the record of the data put back from the folder " + record->folder);
    }
}

void Installation::readCurrentFile()
{
    const RestoreCheck::File &file = run.restore.at(run.current);
    run.transfer = Transfer::Read;
    run.transferName = file.name;
    startTimer(Timer::Exchange, limits.exchangeLimitMs(downloadWireBytes(file.name, file.content.size())));
    act(InstallAction::ReadFile, file.name, 0, file.content.size());
}

void Installation::readBack(const std::optional<QByteArray> &content)
{
    if (run.state == State::Comparing) {
        stopTimer(Timer::Exchange);
        run.transfer = Transfer::None;
        judgeCompared(content);
        compareNextFile();
        return;
    }
    if (run.state != State::Verifying)
        return;
    stopTimer(Timer::Exchange);
    run.transfer = Transfer::None;
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
        notPutBack();
        return;
    }
}

// A transfer the receiver cut short, by restarting or by falling silent, is
// taken up again from its start once the receiver answers a listing, twice
// at most. Before the flash the backup then waits: nothing is flashed over a
// file that wasn't saved whole. After it, the file is not put back and the
// others go on.
void Installation::interrupted(bool restart)
{
    const QString name = run.transferName;
    const bool sending = run.transfer == Transfer::Send || run.transfer == Transfer::ListAfterSend;
    const QString cause = QString(restart ? "the receiver restarted during " : "the receiver stopped answering during ") + name;
    run.skipAfterRecovering = ++run.interruptions[name] > 2;
    if (run.skipAfterRecovering && !run.afterFlash) {
        waitForCancel(cause, Trouble::ReceiverFault);
        return;
    }
    stopTimers();
    act(InstallAction::GiveUpExchange);
    if (run.skipAfterRecovering)
        log("..." + cause);
    else
        log("..." + cause + (sending ? "; it is sent again" : "; it is asked for again"));
    run.heldStep = step();
    run.resumeIn = run.state;
    run.state = State::Recovering;
    beginListingWait(limits.listingLimitBeforeFlashMs);
}

void Installation::resume()
{
    run.state = run.resumeIn;
    switch (run.state) {
    case State::BackingUp:
        saveCurrentFile();
        return;
    case State::Comparing:
        if (run.skipAfterRecovering) {
            judgeCompared(std::nullopt);
            compareNextFile();
        } else {
            readCompared();
        }
        return;
    case State::Restoring:
    case State::Verifying:
        if (run.skipAfterRecovering)
            notPutBack();
        else if (run.transfer == Transfer::Read)
            readCurrentFile();
        else
            sendCurrentFile();
        return;
    default:
        return;
    }
}
