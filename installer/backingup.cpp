#include "installer/installation.h"
#include "device/frames.h"
#include "installer/backupfolder.h"
#include "storage/batch.h"

#include <QFile>
#include <QLocale>

// The installation before the flash: what the receiver's listing means, the
// offer of data an earlier try did not put back, the backup, and the record
// of what this try will put back.

namespace {
const QString backupFolder = "files";

QString savedOn(const RestoreRecord &record)
{
    return QLocale::system().toString(record.saved.toLocalTime(), QLocale::ShortFormat);
}
}

// The receiver's files before the flash: only a receiver that says plainly
// that it holds nothing has nothing to lose; one whose files can't all be
// read is flashed over only on the user's word.
void Installation::considerListing()
{
    if (!run.listing.whole) {
        ask(Question::IncompleteBackup,
            "The files on the receiver can't be read, so they can't be saved. Install the firmware anyway? Its "
            "stations, presets and settings will be lost.",
            false);
        return;
    }
    run.nothingToLose = run.listing.entries.isEmpty() && run.listing.used == 0;
    offerPendingRecord();
}

// Data an earlier try saved and did not put back is offered before this
// try's own backup is made.
void Installation::offerPendingRecord()
{
    const RecordSearch records = findRecords();
    run.highestSequence = records.highestSequence;
    for (const QString &folder : records.damaged)
        log("...the record of the data in the folder " + folder + " can't be read; that data is not offered");
    if (records.pending) {
        const QString problem = recordProblem(*records.pending);
        if (problem.isEmpty()) {
            run.offered = records.pending;
        } else {
            log("...the data saved in the folder " + records.pending->folder + " is not offered: " + problem);
        }
    }
    if (!run.offered) {
        backUpUnlessNothingToLose();
        return;
    }
    // Yes is the default only where the receiver lacks the files or holds
    // less of them; a copy of the same size is most likely the one an
    // earlier restore put back before it was cut short.
    bool receiverLacksThem = true;
    for (const RecordedFile &file : qAsConst(run.offered->files)) {
        for (const ListEntry &entry : qAsConst(run.listing.entries)) {
            if (entry.name == file.name && qint64(entry.size) > file.size)
                receiverLacksThem = false;
        }
    }
    ask(Question::PendingRecord,
        "The stations and settings saved on " + savedOn(*run.offered)
            + " were not put back on the receiver. Put them back after the firmware is written?",
        receiverLacksThem);
}

void Installation::backUpUnlessNothingToLose()
{
    if (!run.nothingToLose) {
        backUp();
        return;
    }
    log("...filesystem not found on device");
    if (recordThisTry())
        closeLink();
}

// The backup.

void Installation::backUp()
{
    run.state = State::BackingUp;
    log(QString());
    log("-> Save data from device:");
    // A backup never mixes with or overwrites an older one.
    QString movedTo;
    if (!prepareBackupFolder(backupFolder, &movedTo)) {
        end(Outcome::Incomplete, "can't prepare the backup folder");
        return;
    }
    if (!movedTo.isEmpty()) {
        log("...older backup moved to " + movedTo);
        // The offered data, when it lay in "files", moved with it.
        if (run.offered) {
            if (run.offered->folder == backupFolder)
                run.offered->folder = movedTo;
            for (RecordedFile &file : run.offered->files) {
                if (file.folder == backupFolder)
                    file.folder = movedTo;
            }
        }
    }
    run.row = -1;
    saveNextFile();
}

void Installation::saveNextFile()
{
    if (++run.row < run.listing.entries.size()) {
        log(run.listing.entries.at(run.row).name);
        saveCurrentFile();
        return;
    }
    if (recordThisTry())
        closeLink();
}

void Installation::saveCurrentFile()
{
    const ListEntry &entry = run.listing.entries.at(run.row);
    run.transfer = Transfer::Save;
    run.transferName = entry.name;
    const qint64 bytes = requestFrame(Mode::Download, pathArgument(devicePath(entry.name))).size() + 4 + qint64(entry.size);
    startTimer(Timer::Exchange, limits.exchangeLimitMs(bytes));
    InstallAction save(InstallAction::SaveFile);
    save.text = entry.name;
    save.value = entry.size;
    save.number = run.row;
    actions.append(save);
}

// Before the flash, with the backup whole (or the user's word), the record
// of what this try puts back: the offered files when the user said Yes, and
// the data files of this backup. It replaces every older record. False, and
// the installation waits, when it can't be written.
bool Installation::recordThisTry()
{
    run.transfer = Transfer::None;
    run.plan = RestoreRecord();
    run.plan.folder = backupFolder;
    for (const QString &name : dataFileNames()) {
        const RecordedFile *offered = run.takeOffered ? run.offered->file(name) : nullptr;
        if (offered) {
            run.plan.files.append(*offered);
            continue;
        }
        QFile saved(backupFolder + "/" + name);
        if (run.nothingToLose || !saved.open(QIODevice::ReadOnly))
            continue;
        const QByteArray content = saved.readAll();
        run.plan.files.append({ name, backupFolder, content.size(), sha256Of(content) });
    }
    if (run.takeOffered && run.nothingToLose) {
        // The backup was skipped: the offered record stays the one that counts.
        run.plan = *run.offered;
        return true;
    }
    if (!run.plan.files.isEmpty()) {
        run.plan.sequence = run.highestSequence + 1;
        run.plan.saved = QDateTime::currentDateTime();
        if (!writeRecord(run.plan)) {
            waitForCancel("PC: can't write the record of the backup in the folder " + backupFolder);
            return false;
        }
    }
    if (run.offered && !run.takeOffered)
        log("...the data saved on " + savedOn(*run.offered) + " stays in the folder "
            + run.offered->dataFolders().join(", "));
    if (!run.plan.files.isEmpty() || (run.offered && !run.takeOffered))
        removeRecords(run.plan.files.isEmpty() ? QString() : backupFolder);
    return true;
}

void Installation::closeLink()
{
    run.state = State::Closing;
    act(InstallAction::CloseLink);
}
