#ifndef SHIPPEDSCRIPT_H
#define SHIPPEDSCRIPT_H

#include <QString>
#include <QStringList>

// Runs a script shipped in the working folder ("flash", "driver") with the
// given arguments and waits until it ends; its exit status is not used.
// Windows runs "cmd /C name.bat args"; elsewhere /bin/sh runs name.sh, each
// argument passed as its own, never through a shell string.
void runShippedScript(const QString &name, const QStringList &arguments = QStringList());

#endif
