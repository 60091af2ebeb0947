#include "installer/scriptrun.h"
#include "installer/shippedscript.h"

#ifdef Q_OS_UNIX
#include <csignal>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
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
#ifdef Q_OS_WIN
    job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    // At once, before cmd has read the script: whatever it starts joins the job too.
    connect(&process, &QProcess::started, this, [this] {
        HANDLE script = OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, DWORD(process.processId()));
        AssignProcessToJobObject(job, script);
        CloseHandle(script);
    });
#endif
}

ScriptRun::~ScriptRun()
{
#ifdef Q_OS_WIN
    CloseHandle(job);
#endif
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
#ifdef Q_OS_WIN
    TerminateJobObject(job, 1);
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

int ScriptRun::exitCode() const
{
    return code;
}

void ScriptRun::finish()
{
    if (finished)
        return;
    finished = true;
    if (process.exitStatus() == QProcess::NormalExit && process.error() != QProcess::FailedToStart)
        code = process.exitCode();
    showOutput();
    emit ended();
}
