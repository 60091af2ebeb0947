#ifndef FILENAMES_H
#define FILENAMES_H

#include <QString>

// The PC file name under which a receiver file is saved. Names come from the
// receiver, so the result never leaves the destination folder nor names a
// device: separators, characters that Windows or Linux forbid, control
// characters and trailing dots and spaces become "-", and a name that is
// empty, only dots, a Windows device name or the restore record's gets a
// leading "-".
QString savingName(const QString &devicePath);

// A file name as Windows compares names: trailing dots and spaces dropped,
// case folded. Two names with one key are one file there.
QString windowsNameKey(const QString &name);

// The name of the record of the data a restore is to put back, in the
// backup folder beside the saved files; no saving name is ever this one.
QString restoreRecordName();

// The receiver name for a PC file: the last part of its path, keeping only
// letters, digits, "_" and the characters from "'" to ".", at most 256 of them.
QString cleanedUploadName(const QString &sourcePath);

// True when the cleaned name has a "." with nothing before it or nothing
// between it and the next ".".
bool isIncorrectUploadName(const QString &name);

// Where a batch upload reads a file: language files from the firmware folder,
// everything else from the backup folder "files".
QString batchUploadSource(const QString &name);

#endif
