#ifndef KEPTLOG_H
#define KEPTLOG_H

// An installation's log pane kept in a file of its own, for support: a new
// file in the folder "logs" of the working folder each time, named by the
// date and time, never one that exists. Each line is written once it is
// finished: a progress line the flasher redraws in place is written once,
// as it last reads. The program never reads these files.

#include "installer/consoletext.h"

#include <QFile>
#include <QString>
#include <QVector>

class KeptLog
{
public:
    // A window closed while the flasher runs still leaves its last line.
    ~KeptLog() { end(); }
    // Starts a new file; false when none can be made.
    bool start();
    QString path() const;
    void line(const QString &text);
    // What a script showed: its last line may still change, and is written
    // when the next line comes or the log ends.
    void scriptLines(const QVector<ConsoleText::ShownLine> &lines);
    void end();

private:
    void write(const QString &text);
    void writePending();

    QFile file;
    QString pending;
    bool hasPending = false;
};

#endif
