#include "installer/keptlog.h"

#include <QDateTime>
#include <QDir>

bool KeptLog::start()
{
    end();
    if (!QDir().mkpath("logs"))
        return false;
    const QString stamp = QDateTime::currentDateTime().toString("yyyy-MM-dd HH-mm-ss");
    for (int attempt = 1; attempt < 100; ++attempt) {
        file.setFileName("logs/" + stamp + (attempt > 1 ? QString(" (%1)").arg(attempt) : QString()) + ".txt");
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Text))
            return true;
        if (!file.exists())
            return false;
    }
    return false;
}

QString KeptLog::path() const
{
    return file.fileName();
}

void KeptLog::line(const QString &text)
{
    writePending();
    write(text);
}

void KeptLog::scriptLines(const QVector<ConsoleText::ShownLine> &lines)
{
    for (const ConsoleText::ShownLine &shown : lines) {
        if (!shown.replacesLast)
            writePending();
        pending = shown.text;
        hasPending = true;
    }
}

void KeptLog::end()
{
    writePending();
    file.close();
}

// Flushed line by line: what a crash leaves is the log up to it.
void KeptLog::write(const QString &text)
{
    if (!file.isOpen())
        return;
    file.write(text.toUtf8() + '\n');
    file.flush();
}

void KeptLog::writePending()
{
    if (hasPending)
        write(pending);
    hasPending = false;
}
