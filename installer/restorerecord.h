#ifndef RESTORERECORD_H
#define RESTORERECORD_H

// The record of the data an installation is to put back on the receiver,
// written before the flash beside the backup it describes and removed once
// that data has been read back equal. While one lies in "files" or in an
// eight-digit folder, that data is not back on the receiver: the next
// installation offers it. At most one is pending; its sequence number, not
// the clock, says which is the newest.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

struct RecordedFile
{
    QString name;                   // the receiver's name, also the file's name in its folder
    QString folder;                 // the folder it lies in, relative to the working folder
    qint64 size = 0;
    QByteArray sha256;              // in hexadecimal
    QString path() const;
};

struct RestoreRecord
{
    QString folder;                 // where the record lies
    qint64 sequence = 0;
    QDateTime saved;
    QVector<RecordedFile> files;

    const RecordedFile *file(const QString &name) const;
    // The folders its files lie in, in their order, each once.
    QStringList dataFolders() const;
};

// What the working folder's records say.
struct RecordSearch
{
    std::optional<RestoreRecord> pending;   // the newest readable record
    QStringList damaged;            // folders whose record can't be read
    qint64 highestSequence = 0;
};
RecordSearch findRecords();

// Empty when every file of the record lies in its folder, whole and as it
// was; otherwise why the record can't be put back.
QString recordProblem(const RestoreRecord &record);

// Writes the record into its folder atomically and reads it back; false when
// it is not on disk as written.
bool writeRecord(const RestoreRecord &record);

// Removes every record but the one in keepFolder; false when one stays.
bool removeRecords(const QString &keepFolder = QString());

QByteArray sha256Of(const QByteArray &content);

#endif
