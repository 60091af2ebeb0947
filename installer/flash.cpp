#include "installer/flash.h"

#include <QFile>
#include <QTextStream>

const QString installLogPath = "firmware/install.log";

bool removeStaleInstallLog()
{
    return !QFile::exists(installLogPath) || QFile::remove(installLogPath);
}

bool firmwareLogSucceeded(const QString &logPath)
{
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QTextStream lines(&log);
    QString line;
    while (lines.readLineInto(&line)) {
        if (line.contains("RTS"))
            return true;
    }
    return false;
}
