#ifndef FILENAMES_H
#define FILENAMES_H

#include <QString>

// The PC file name under which a receiver file is saved. Names come from the
// receiver, so the result never leaves the destination folder nor names a
// device: separators, characters that Windows or Linux forbid and control
// characters become "-", and a name that is empty, only dots or a Windows
// device name gets a leading "-".
QString savingName(const QString &devicePath);

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
