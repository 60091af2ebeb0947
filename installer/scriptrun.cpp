#include "installer/scriptrun.h"
#include "installer/shippedscript.h"

#ifdef Q_OS_UNIX
#include <csignal>
#include <unistd.h>
#endif

#ifdef Q_OS_UNIX
void ScriptProcess::setupChildProcess()
{
    ::setpgid(0, 0);
}
#endif

ScriptRun::ScriptRun(QObject *parent)
    : QObject(parent)
{
    // Standard output and standard error as they come, in one stream.
    process.setProcessChannelMode(QProcess::MergedChannels);
    connect(&process, &QProcess::readyRead, this, &ScriptRun::showOutput);
    connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this, &ScriptRun::finish);
    connect(&process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish();
    });
}

void ScriptRun::start(const QString &name, const QStringList &arguments)
{
    startShippedScript(process, name, arguments);
}

void ScriptRun::stop()
{
    finished = true;
#ifdef Q_OS_UNIX
    if (process.processId() > 0)
        ::kill(-pid_t(process.processId()), SIGKILL);
#endif
    process.kill();
    process.waitForFinished(3000);
}

void ScriptRun::showOutput()
{
    const QVector<ConsoleText::ShownLine> lines = console.take(process.readAll());
    if (!lines.isEmpty())
        emit linesShown(lines);
}

void ScriptRun::finish()
{
    if (finished)
        return;
    finished = true;
    showOutput();
    emit ended();
}
