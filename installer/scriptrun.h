#ifndef SCRIPTRUN_H
#define SCRIPTRUN_H

#include "installer/consoletext.h"

#include <QObject>
#include <QProcess>

// A shipped script run in the background: its output as a terminal would
// show it, and one signal when it has ended, whether it ran or couldn't start.
class ScriptRun : public QObject
{
    Q_OBJECT

public:
    explicit ScriptRun(QObject *parent = nullptr);
    void start(const QString &name, const QStringList &arguments);
    // Ends the script at once; ended is not emitted.
    void stop();

signals:
    void linesShown(const QVector<ConsoleText::ShownLine> &lines);
    void ended();

private:
    void showOutput();
    void finish();

    QProcess process;
    ConsoleText console;
    bool finished = false;
};

#endif
