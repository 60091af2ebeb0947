#include "receiversim/resetcircuit.h"

#include <utility>

void ResetCircuit::setLines(qint64 atNs, bool dtr, bool rts)
{
    // A start due before this change happened with the lines as they were.
    settle(atNs);
    io0Low = dtr && !rts;
    if (rts && !dtr) {
        inReset = true;
        releasedNs = -1;
    } else if (inReset) {
        inReset = false;
        releasedNs = atNs;
    }
}

QVector<ResetCircuit::Boot> ResetCircuit::startsUntil(qint64 nowNs)
{
    settle(nowNs);
    return std::exchange(starts, {});
}

qint64 ResetCircuit::pendingStartNs() const
{
    return releasedNs < 0 ? -1 : releasedNs + enRiseNs;
}

void ResetCircuit::settle(qint64 nowNs)
{
    if (releasedNs >= 0 && nowNs >= releasedNs + enRiseNs) {
        starts.append(io0Low ? Boot::DownloadMode : Boot::Firmware);
        releasedNs = -1;
    }
}
