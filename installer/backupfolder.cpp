#include "installer/backupfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
constexpr int nameAttempts = 5;

// A link counts as there even when what it leads to is gone.
bool isThere(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}
}

QString randomBackupName()
{
    QString name;
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    for (int digit = 0; digit < 8; ++digit)
        name += QString::number(qrand() % 10);
    QT_WARNING_POP
    return name;
}

QString takeFreshBackupName(const std::function<bool(const QString &)> &take)
{
    for (int attempt = 0; attempt < nameAttempts; ++attempt) {
        const QString name = randomBackupName();
        if (!isThere(name) && take(name))
            return name;
    }
    return QString();
}

bool prepareBackupFolder(const QString &folder, QString *movedTo)
{
    QDir here;
    movedTo->clear();
    if (isThere(folder)) {
        *movedTo = takeFreshBackupName([&](const QString &aside) { return here.rename(folder, aside); });
        if (movedTo->isEmpty())
            return false;
    }
    return here.mkdir(folder);
}
