#ifndef BACKUPFOLDER_H
#define BACKUPFOLDER_H

#include <QByteArray>
#include <QString>

// A name of eight decimal digits drawn from qrand, leading zeros included.
QString randomBackupName();

// Makes "folder" a new, empty folder. An older one is moved aside to a
// random eight-digit name first, never over an existing one, and movedTo
// gets that name (empty when there was none to move); false when it can't be
// moved or the new folder can't be created.
bool prepareBackupFolder(const QString &folder, QString *movedTo);

// Writes exactly these bytes into a new file; on any failure no partial
// file is left behind. What is on disk is read back: on a full disk a commit
// can report success over a file its buffered bytes never reached.
bool saveWhole(const QString &path, const QByteArray &content);

#endif
