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
    bool reset = false;
    while (lines.readLineInto(&line)) {
        if (line.contains("A fatal error occurred") || line.contains("Traceback"))
            return false;
        reset = reset || line.contains("RTS");
    }
    return reset;
}
