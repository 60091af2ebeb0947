#ifndef RESETLINES_H
#define RESETLINES_H

// Follows the file into which the modem-line preload (tools/modemlines.c)
// writes every DTR and RTS setting of the host, feeds a reset circuit with
// them, and says when the board starts and how. This is how the simulator
// learns of a reset: esptool's reset into download mode and its "Hard
// resetting via RTS pin..." reach it as they reach a real board, through the
// lines, at the times the host set them. The port's closing would not do:
// the simulator holds the pseudo-terminal's slave open itself, so it never
// sees esptool let go of it, and only the lines tell a reset into download
// mode from one into the firmware, as the board's pins do.

#include "receiversim/resetcircuit.h"

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

class ResetLines : public QObject
{
    Q_OBJECT

public:
    // Empties the file, for the host to write into.
    explicit ResetLines(const QString &path, QObject *parent = nullptr);

    // Reads the settings written since the last look. With hostTalking (bytes
    // have just come), a start still waiting for EN to rise happens now: the
    // host set the lines before it sent them.
    void catchUp(bool hostTalking);

signals:
    // The chip started. Late: only noticed as the host sent bytes; it
    // started before, and what it printed then was gone by the time the host
    // sent them (esptool empties its input before it talks).
    void started(ResetCircuit::Boot boot, bool late);

private:
    void readSettings();

    QString path;
    qint64 offset = 0;
    QByteArray partialLine;
    ResetCircuit circuit;
    QFileSystemWatcher watcher;
    QTimer pendingStart;
};

#endif
