#ifndef BACKUPFOLDER_H
#define BACKUPFOLDER_H

#include <QString>

#include <functional>

// A name of eight decimal digits drawn from qrand, leading zeros included.
QString randomBackupName();

// A fresh such name, one that nothing in the working folder has yet, with
// which take succeeded (a few names are tried); empty when none did.
QString takeFreshBackupName(const std::function<bool(const QString &)> &take);

// Makes "folder" a new, empty folder. An older one is moved aside to a
// random eight-digit name first, never over an existing one, and movedTo
// gets that name (empty when there was none to move); false when it can't be
// moved or the new folder can't be created.
bool prepareBackupFolder(const QString &folder, QString *movedTo);

#endif
