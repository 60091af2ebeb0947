#include "storage/filenames.h"

#include <QStringList>

namespace {
bool isForbiddenInFileName(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7F || QStringLiteral("/\\:*?\"<>|").contains(c);
}

bool isWindowsDeviceName(const QString &name)
{
    static const QStringList devices = {
        "CON", "PRN", "AUX", "NUL",
        "COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9",
        "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9",
    };
    // Windows ignores the extension and trailing spaces: "con.txt" is CON too.
    const QString base = name.section('.', 0, 0).trimmed();
    return devices.contains(base, Qt::CaseInsensitive);
}

bool isOnlyDots(const QString &name)
{
    for (QChar c : name) {
        if (c != '.')
            return false;
    }
    return true;
}

bool endsAsWindowsDropsIt(QChar c)
{
    return c == '.' || c == ' ';
}
}

QString windowsNameKey(const QString &name)
{
    int end = name.size();
    while (end > 0 && endsAsWindowsDropsIt(name.at(end - 1)))
        --end;
    return name.left(end).toCaseFolded();
}

QString restoreRecordName()
{
    return "restore-pending.json";
}

QString savingName(const QString &devicePath)
{
    QString name = devicePath;
    name.replace('/', '-');
    name.remove(0, 1);
    for (QChar &c : name) {
        if (isForbiddenInFileName(c))
            c = '-';
    }
    if (isOnlyDots(name) || isWindowsDeviceName(name) || windowsNameKey(name) == windowsNameKey(restoreRecordName()))
        name.prepend('-');
    // Windows drops trailing dots and spaces: "ap.csv." would land on "ap.csv".
    for (int i = name.size() - 1; i >= 0 && endsAsWindowsDropsIt(name.at(i)); --i)
        name[i] = '-';
    return name;
}

QString cleanedUploadName(const QString &sourcePath)
{
    QString name;
    for (QChar c : sourcePath.section('/', -1)) {
        const ushort u = c.unicode();
        const bool kept = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9')
                       || u == '_' || (u >= '\'' && u <= '.');
        if (kept)
            name.append(c);
    }
    return name.left(256);
}

bool isIncorrectUploadName(const QString &name)
{
    if (!name.contains('.'))
        return false;
    const QStringList pieces = name.split('.');
    return pieces.at(0).isEmpty() || pieces.at(1).isEmpty();
}

QString batchUploadSource(const QString &name)
{
    if (name.contains(".lng"))
        return "firmware/languages/" + name;
    return "files/" + name;
}
