#include "installer/backupfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
constexpr int moveAttempts = 5;
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

bool prepareBackupFolder(const QString &folder, QString *movedTo)
{
    QDir here;
    movedTo->clear();
    if (QFileInfo::exists(folder)) {
        for (int attempt = 0; attempt < moveAttempts && movedTo->isEmpty(); ++attempt) {
            const QString aside = randomBackupName();
            if (!QFileInfo::exists(aside) && here.rename(folder, aside))
                *movedTo = aside;
        }
        if (movedTo->isEmpty())
            return false;
    }
    return here.mkdir(folder);
}
