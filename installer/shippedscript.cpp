#include "installer/shippedscript.h"

#ifdef Q_OS_WIN
#include <cstdlib>
#else
#include <QProcess>
#endif

void runShippedScript(const QString &name, const QStringList &arguments)
{
#ifdef Q_OS_WIN
    QString command = "cmd /C " + name + ".bat";
    for (const QString &argument : arguments)
        command += " " + argument;
    std::system(command.toUtf8().constData());
#else
    QProcess::execute("/bin/sh", QStringList{ name + ".sh" } + arguments);
#endif
}
