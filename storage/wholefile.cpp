#include "storage/wholefile.h"

#include <QFile>
#include <QSaveFile>

bool saveWhole(const QString &path, const QByteArray &content)
{
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size() || !out.commit())
        return false;
    QFile written(path);
    if (written.open(QIODevice::ReadOnly) && written.readAll() == content)
        return true;
    written.remove();
    return false;
}
