#ifndef SCRIPTRUN_H
#define SCRIPTRUN_H

#include "installer/consoletext.h"

#include <QObject>
#include <QProcess>

// The script's process. On POSIX systems it leads a process group of its
// own, and on Windows it is put in a job object, so that stopping the script
// also stops the flasher it started.
class ScriptProcess : public QProcess
{
#ifdef Q_OS_UNIX
protected:
    void setupChildProcess() override;
#endif
};

// A shipped script run in the background: its output as a terminal would
// show it, and one signal when it has ended, whether it ran or couldn't start.
class ScriptRun : public QObject
{
    Q_OBJECT

public:
    explicit ScriptRun(QObject *parent = nullptr);
    ~ScriptRun() override;
    void start(const QString &name, const QStringList &arguments);
    // Ends the script, and whatever it started, at once; ended is not emitted.
    void stop();
    // Once it has ended: its exit code, or -1 when it couldn't start or crashed.
    int exitCode() const;

signals:
    void linesShown(const QVector<ConsoleText::ShownLine> &lines);
    void ended();

private:
    void showOutput();
    void finish();

    ScriptProcess process;
    ConsoleText console;
    bool finished = false;
    int code = -1;
#ifdef Q_OS_WIN
    void *job = nullptr;            // ends every process in it when closed
#endif
};

#endif
