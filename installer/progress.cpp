#include "installer/progress.h"

#include <QRegularExpression>

#include <algorithm>

namespace {
constexpr double flashShare = 25;   // percent of the whole, however long the flasher takes
constexpr qint64 listingBytes = 400;
}

void InstallProgress::plan(qint64 backupBytes, qint64 restoreBytes)
{
    backup = backupBytes;
    restore = restoreBytes;
}

void InstallProgress::enter(Phase phase)
{
    current = phase;
    movedInPhase = 0;
    flashPercent = 0;
}

void InstallProgress::moved(qint64 bytes)
{
    movedInPhase += bytes;
}

void InstallProgress::flashed(int percent)
{
    flashPercent = qBound(0, percent, 100);
}

qint64 InstallProgress::phaseBytes(Phase phase) const
{
    switch (phase) {
    case Phase::Listing:
        return listingBytes;
    case Phase::Backup:
        return backup;
    case Phase::Restore:
    case Phase::Verify:
        return restore;
    default:
        return 0;
    }
}

double InstallProgress::phaseShare(Phase phase) const
{
    if (phase == Phase::Flash)
        return flashShare;
    const qint64 all = listingBytes + backup + 2 * restore;
    return (100 - flashShare) * double(phaseBytes(phase)) / double(all);
}

double InstallProgress::phaseStart(Phase phase) const
{
    double start = 0;
    for (Phase earlier = Phase::Listing; earlier != phase; earlier = Phase(int(earlier) + 1))
        start += phaseShare(earlier);
    return start;
}

int InstallProgress::percent()
{
    if (current == Phase::Done)
        return 100;
    const qint64 bytes = phaseBytes(current);
    const double done = current == Phase::Flash ? flashPercent / 100.0
                      : bytes > 0 ? std::min(1.0, double(movedInPhase) / double(bytes)) : 0.0;
    const int now = int(phaseStart(current) + done * phaseShare(current));
    reached = std::max(reached, std::min(now, 99));
    return reached;
}

QString InstallProgress::text(qint64 elapsedMs)
{
    const int done = percent();
    if (done == 0 || done == 100)
        return QString("%1 %").arg(done);
    const qint64 leftSeconds = (elapsedMs * (100 - done) / done + 999) / 1000;
    return QString("%1 % – about %2:%3 left").arg(done).arg(leftSeconds / 60).arg(leftSeconds % 60, 2, 10, QChar('0'));
}

int flasherPercent(const QString &line)
{
    static const QRegularExpression progress("\\((\\d{1,3}) %\\)");
    const QRegularExpressionMatch match = progress.match(line);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}
