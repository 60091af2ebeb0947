#ifndef BACKUPFOLDER_H
#define BACKUPFOLDER_H

#include <QString>

// A name of eight decimal digits drawn from qrand, leading zeros included.
QString randomBackupName();

// Makes "folder" a new, empty folder. An older one is moved aside to a
// random eight-digit name first, never over an existing one, and movedTo
// gets that name (empty when there was none to move); false when it can't be
// moved or the new folder can't be created.
bool prepareBackupFolder(const QString &folder, QString *movedTo);

#endif
