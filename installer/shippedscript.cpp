#include "installer/shippedscript.h"

#include <QProcess>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

QString shippedScriptFile(const QString &name)
{
#ifdef Q_OS_WIN
    return name + ".bat";
#else
    return name + ".sh";
#endif
}

QString windowsCommandLine(const QString &name, const QStringList &arguments)
{
    QStringList words = arguments;
    words.prepend("cmd /C " + name + ".bat");
    return words.join(' ');
}

void startShippedScript(QProcess &process, const QString &name, const QStringList &arguments)
{
#ifdef Q_OS_WIN
    // The command line exactly as written, not as QProcess would quote it:
    // "cmd", then the rest as it stands.
    process.setProgram("cmd");
    process.setNativeArguments(windowsCommandLine(name, arguments).mid(QStringLiteral("cmd ").size()));
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *create) {
        create->flags |= CREATE_NO_WINDOW;
    });
#else
    process.setProgram("/bin/sh");
    process.setArguments(QStringList{ shippedScriptFile(name) } + arguments);
#endif
    process.start();
    process.closeWriteChannel();
}
