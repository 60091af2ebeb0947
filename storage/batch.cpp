#include "storage/batch.h"

QStringList dataFileNames()
{
    return { "ap.csv", "city.csv", "preset.csv", "scan.csv" };
}

QString nextUploadName(const QString &current, const QString &languageCode)
{
    const QStringList names = dataFileNames();
    if (current.isEmpty())
        return names.first();
    const int at = names.indexOf(current);
    if (at < 0)
        return QString();
    return at + 1 < names.size() ? names.at(at + 1) : languageCode.toLower() + ".lng";
}
