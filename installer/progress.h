#ifndef PROGRESS_H
#define PROGRESS_H

// How far an installation has come, as a share of the whole: the listing,
// the backup, the restore and the read-back by the bytes they move on the
// wire, the flash as a fixed share following the flasher's percentages;
// and the time left at the rate so far.

#include <QString>
#include <QtGlobal>

class InstallProgress
{
public:
    enum class Phase { Listing, Backup, Flash, Restore, Verify, Done };

    // The bytes the backup and the restore will move, as the listing tells
    // them; the read-back moves as many as the restore.
    void plan(qint64 backupBytes, qint64 restoreBytes);
    void enter(Phase phase);
    void moved(qint64 bytes);
    void flashed(int percent);
    // The share done, never less than it was before: an estimate that fell
    // short is not shown going back.
    int percent();
    // "NN % – about M:SS left", reckoned from the time taken so far.
    QString text(qint64 elapsedMs);

private:
    qint64 phaseBytes(Phase phase) const;
    double phaseStart(Phase phase) const;
    double phaseShare(Phase phase) const;

    qint64 backup = 0;
    qint64 restore = 0;
    Phase current = Phase::Listing;
    qint64 movedInPhase = 0;
    int flashPercent = 0;
    int reached = 0;
};

// The percentage a flasher's progress line shows ("... (25 %)"), or -1.
int flasherPercent(const QString &line);

#endif
