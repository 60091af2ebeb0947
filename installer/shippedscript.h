#ifndef SHIPPEDSCRIPT_H
#define SHIPPEDSCRIPT_H

#include <QString>
#include <QStringList>

class QProcess;

// The file of a shipped script ("flash", "driver") on this system:
// name.bat on Windows, name.sh elsewhere.
QString shippedScriptFile(const QString &name);

// The command line that runs a shipped script on Windows: "cmd /C name.bat"
// followed by the arguments.
QString windowsCommandLine(const QString &name, const QStringList &arguments);

// Starts a script shipped in the working folder ("flash", "driver") with the
// given arguments: on Windows the command line above, without a console
// window of its own; elsewhere /bin/sh runs name.sh, each argument passed as
// its own, never through a shell string. The script's input ends at once,
// so one that reads it (a "pause" at its end) gets end-of-file and goes on.
void startShippedScript(QProcess &process, const QString &name, const QStringList &arguments);

#endif
