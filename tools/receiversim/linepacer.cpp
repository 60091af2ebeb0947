#include "receiversim/linepacer.h"

namespace {
constexpr int sliceBytes = 64;
constexpr qint64 spinNs = 1500000;   // the timer wakes this early, the rest is spun
}

LinePacer::LinePacer(double bytesPerSecond, QObject *parent)
    : QObject(parent)
    , nsPerByte(1e9 / bytesPerSecond)
{
    clock.start();
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &LinePacer::deliverDue);
}

void LinePacer::push(const QByteArray &bytes)
{
    for (int pos = 0; pos < bytes.size(); pos += sliceBytes) {
        const QByteArray slice = bytes.mid(pos, sliceBytes);
        lineFreeNs = qMax(lineFreeNs, clock.nsecsElapsed()) + qint64(slice.size() * nsPerByte);
        slices.push_back({ lineFreeNs, slice });
    }
    if (!timer.isActive())
        deliverDue();
}

void LinePacer::deliverDue()
{
    while (!slices.empty()) {
        const qint64 wait = slices.front().dueNs - clock.nsecsElapsed();
        if (wait > spinNs) {
            timer.start(int((wait - spinNs) / 1000000));
            return;
        }
        while (clock.nsecsElapsed() < slices.front().dueNs) {
        }
        const QByteArray bytes = slices.front().bytes;
        slices.pop_front();
        emit delivered(bytes);
    }
}
