#include "installer/installation.h"
#include "device/frames.h"
#include "installer/backupfolder.h"
#include "installer/options.h"
#include "installer/wirebytes.h"
#include "storage/batch.h"
#include "storage/filenames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <QSet>

// The installation before the flash: what the receiver's listing means, the
// backup, the records of data earlier tries did not put back (each named,
// and offered in turn), and the records of what this try puts back.

namespace {
const QString backupFolder = "files";

std::optional<QByteArray> readSaved(const QString &name)
{
    QFile saved(backupFolder + "/" + name);
    return saved.open(QIODevice::ReadOnly) ? std::optional<QByteArray>(saved.readAll()) : std::nullopt;
}

// A copy of the recorded file, or a beginning of one, as a restore cut
// short leaves it, is no data of the receiver's own.
bool isCopyOrBeginning(const QByteArray &content, const RecordedFile &recorded)
{
    if (sha256Of(content) == recorded.sha256)
        return true;
    QFile whole(recorded.path());
    return whole.open(QIODevice::ReadOnly) && content.size() < recorded.size && whole.read(content.size()) == content;
}
}

// A list that names a file twice can't be the receiver's true one.
bool Installation::canBeTrue(const ReceiverListing &listing)
{
    QSet<QString> names;
    for (const ListEntry &entry : listing.entries) {
        if (names.contains(entry.name))
            return false;
        names.insert(entry.name);
    }
    return listing.whole;
}

// The receiver's files before the flash: only a receiver that says plainly
// that it holds nothing has nothing to lose; one whose files can't all be
// read is flashed over only on the user's word.
void Installation::considerListing()
{
    if (!canBeTrue(run.listing)) {
        QString text = "The files on the receiver can't be read, so they can't be saved. Install the firmware anyway? "
                       "Its stations, presets and settings will be lost.";
        for (const RestoreRecord &record : findRecords().readable) {
            if (recordProblem(record).isEmpty()) {
                text += " If it has no firmware after an earlier try, its stations and settings saved on "
                        + record.savedOn() + " are in the " + inFolders(record.dataFolders()) + ".";
                break;
            }
        }
        ask(Question::IncompleteBackup, text, false);
        return;
    }
    run.nothingToLose = run.listing.entries.isEmpty() && run.listing.used == 0;
    backUpUnlessNothingToLose();
}

void Installation::backUpUnlessNothingToLose()
{
    planProgress();
    if (!run.nothingToLose) {
        backUp();
        return;
    }
    log("...filesystem not found on device");
    considerRecords();
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
        end(Outcome::Incomplete, "can't prepare the backup folder "
                                     + QDir::toNativeSeparators(QDir::current().absoluteFilePath(backupFolder)),
            Trouble::BackupFolder);
        return;
    }
    if (!movedTo.isEmpty())
        log("...older backup moved to " + movedTo);
    enter(InstallProgress::Phase::Backup);
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
    run.transfer = Transfer::None;
    considerRecords();
}

void Installation::saveCurrentFile()
{
    const ListEntry &entry = run.listing.entries.at(run.row);
    run.transfer = Transfer::Save;
    run.transferName = entry.name;
    startTimer(Timer::Exchange, limits.exchangeLimitMs(downloadWireBytes(entry.name, entry.size)));
    InstallAction save(InstallAction::SaveFile);
    save.text = entry.name;
    save.value = entry.size;
    save.number = run.row;
    actions.append(save);
}

// The bytes the backup and the restore move, as the listing tells them: the
// restore puts back its data files and a language file.
void Installation::planProgress()
{
    qint64 backup = 0;
    qint64 restore = 0;
    for (const ListEntry &entry : qAsConst(run.listing.entries)) {
        backup += downloadWireBytes(entry.name, entry.size);
        if (dataFileNames().contains(entry.name))
            restore += uploadWireBytes(entry.name, entry.size);
    }
    const QString language = run.choices.languageCode.toLower() + ".lng";
    restore += uploadWireBytes(language, QFileInfo(batchUploadSource(language)).size());
    InstallAction plan(InstallAction::Plan);
    plan.value = backup;
    plan.number = int(qMin<qint64>(restore, INT_MAX));
    actions.append(plan);
}

// The data earlier tries did not put back: every record is named, with the
// folder it lies in now, every time; those whose files are whole are
// offered in turn, newest first.
void Installation::considerRecords()
{
    const RecordSearch search = findRecords();
    run.nextSequence = search.nextSequence();
    for (const QString &folder : search.linked)
        log("...the folder " + folder + " is a link to another place; what it holds is not read");
    for (const QString &folder : search.damaged)
        log("...the record of the data in the folder " + folder + " can't be read; that data is not offered");
    run.toOffer.clear();
    for (const RestoreRecord &record : search.readable) {
        const QString problem = recordProblem(record);
        const QString saved = "...the data saved on " + record.savedOn() + " in the " + inFolders(record.dataFolders());
        if (problem.isEmpty()) {
            log(saved + " is not back on a receiver");
            run.toOffer.append(record);
        } else {
            log(saved + " is not offered: " + problem);
        }
    }
    offerNextRecord();
}

// Yes is the default only where the receiver holds no data of its own
// beside the record's: it lacks the files, or holds the record's copies or
// a beginning of one, as a restore cut short leaves it.
void Installation::offerNextRecord()
{
    if (run.toOffer.isEmpty()) {
        run.offered.reset();
        considerLanguage();
        return;
    }
    run.offered = run.toOffer.takeFirst();
    const QStringList own = ownDataBeside(*run.offered);
    QString text = "The stations and settings saved on " + run.offered->savedOn()
                 + " were not put back on the receiver. Put them back after the firmware is written?";
    if (!own.isEmpty())
        text += " The receiver holds stations and settings of its own that differ from them (" + own.join(", ")
              + "); those stay saved in the folder " + backupFolder + ".";
    ask(Question::PendingRecord, text, own.isEmpty());
}

QStringList Installation::ownDataBeside(const RestoreRecord &record) const
{
    QStringList own;
    for (const RecordedFile &file : record.files) {
        const std::optional<QByteArray> saved = run.nothingToLose ? std::nullopt : readSaved(file.name);
        if (saved && !isCopyOrBeginning(*saved, file))
            own << file.name;
    }
    return own;
}

// The receiver's own language file, when it is another language's that the
// firmware folder holds too: which goes back is asked, the receiver's the
// default. Then the records are written and the flash follows.
void Installation::considerLanguage()
{
    const QString chosen = run.choices.languageCode.toLower() + ".lng";
    for (const ListEntry &entry : qAsConst(run.listing.entries)) {
        if (!entry.name.endsWith(".lng") || entry.name == chosen)
            continue;
        const QString code = entry.name.chopped(4).toUpper();
        if (!languageName(code).isEmpty() && QFile::exists(batchUploadSource(entry.name))) {
            run.receiverLanguage = code;
            ask(Question::Language, "The receiver uses " + languageName(code) + ". Put back "
                                        + languageName(run.choices.languageCode) + ", as chosen?", false);
            return;
        }
    }
    if (recordThisTry())
        closeLink();
}

// Before the flash, with the backup whole (or the user's word), the records
// of what is not back once the flash begins. A record taken from an earlier
// try is written again as the newest; this backup's data files get a
// record of their own, but for the copies of the taken record's files. The
// plan puts back the taken record's files and, for the rest, this backup's.
// False, and the installation waits, when a record can't be written.
bool Installation::recordThisTry()
{
    const RestoreRecord *taken = run.takeOffered ? &*run.offered : nullptr;
    run.plan = RestoreRecord();
    RestoreRecord own;
    own.folder = backupFolder;
    QStringList ownKept;
    for (const QString &name : dataFileNames()) {
        const RecordedFile *offered = taken ? taken->file(name) : nullptr;
        const std::optional<QByteArray> saved = run.nothingToLose ? std::nullopt : readSaved(name);
        const RecordedFile ours{ name, backupFolder, saved ? saved->size() : 0, saved ? sha256Of(*saved) : QByteArray() };
        if (offered)
            run.plan.files.append(*offered);
        else if (saved)
            run.plan.files.append(ours);
        if (saved && !(offered && isCopyOrBeginning(*saved, *offered))) {
            own.files.append(ours);
            if (offered)
                ownKept << name;
        }
    }
    if (taken) {
        RestoreRecord again = *taken;
        again.sequence = qMin(run.nextSequence + 1, largestSequence);
        if (!writeRecord(again)) {
            waitForCancel("PC: can't write the record of the backup in the folder " + again.folder, Trouble::PcFault);
            return false;
        }
        run.offered = again;
    }
    if (!own.files.isEmpty()) {
        own.sequence = run.nextSequence;
        own.saved = QDateTime::currentDateTime();
        if (!writeRecord(own)) {
            waitForCancel("PC: can't write the record of the backup in the folder " + backupFolder, Trouble::PcFault);
            return false;
        }
        run.ownRecord = own;
    }
    if (!ownKept.isEmpty())
        log("...the receiver's own " + ownKept.join(", ") + " stay in the folder " + backupFolder + ", to be offered next time");
    return true;
}

void Installation::closeLink()
{
    run.state = State::Closing;
    act(InstallAction::CloseLink);
}
