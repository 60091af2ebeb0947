#include "receiversim/resetlines.h"

#include <QFile>

#include <limits>
#include <time.h>

namespace {
// The clock the preload stamps the settings with.
qint64 monotonicNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}
}

ResetLines::ResetLines(const QString &path, QObject *parent)
    : QObject(parent), path(path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qWarning("can't empty %s", qPrintable(path));
    file.close();
    watcher.addPath(path);
    connect(&watcher, &QFileSystemWatcher::fileChanged, this, [this] { catchUp(false); });
    pendingStart.setSingleShot(true);
    connect(&pendingStart, &QTimer::timeout, this, [this] { catchUp(false); });
}

void ResetLines::catchUp(bool hostTalking)
{
    readSettings();
    const qint64 now = hostTalking ? std::numeric_limits<qint64>::max() : monotonicNs();
    for (const ResetCircuit::Boot boot : circuit.startsUntil(now))
        emit started(boot, hostTalking);
    const qint64 due = circuit.pendingStartNs();
    if (due >= 0)
        pendingStart.start(int((due - now) / 1000000) + 1);
}

// Lines "NANOSECONDS DTR RTS", appended whole; the last may still be on its way.
void ResetLines::readSettings()
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    if (file.size() < offset)
        offset = 0;
    file.seek(offset);
    const QByteArray added = file.readAll();
    offset += added.size();
    partialLine += added;
    const int end = partialLine.lastIndexOf('\n') + 1;
    const QList<QByteArray> lines = partialLine.left(end).split('\n');
    partialLine.remove(0, end);
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 3)
            circuit.setLines(fields.at(0).toLongLong(), fields.at(1) == "1", fields.at(2) == "1");
    }
}
