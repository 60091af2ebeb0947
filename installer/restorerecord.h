#ifndef RESTORERECORD_H
#define RESTORERECORD_H

// The record of the data an installation is to put back on the receiver,
// written before the flash beside the backup it describes. While one lies
// in "files" or in an eight-digit folder, that data is not back on a
// receiver: every installation names it and offers it. A record goes only
// when its data was read back equal from a receiver, or by the user's word.
// Sequence numbers, not the clock, say which is the newest.

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
    // When it was saved, as the log and the questions say it.
    QString savedOn() const;
};

// Records are JSON, whose numbers are doubles: a sequence above this can't
// be told from its neighbours.
constexpr qint64 largestSequence = (qint64(1) << 53) - 1;

// What the working folder's records say.
struct RecordSearch
{
    QVector<RestoreRecord> readable;        // newest first
    QStringList damaged;            // folders whose record can't be read
    QStringList linked;             // folders that are links or lie elsewhere: never read nor changed
    qint64 highestSequence = 0;
    // The sequence of a record written now: above every readable one, and
    // never past what a record can hold.
    qint64 nextSequence() const;
};
RecordSearch findRecords();

// Empty when every file of the record lies in its folder, whole and as it
// was; otherwise why the record can't be put back.
QString recordProblem(const RestoreRecord &record);

// Writes the record into its folder atomically and reads it back; false when
// it is not on disk as written.
bool writeRecord(const RestoreRecord &record);

// Removes the record that lies in folder; false when it stays.
bool removeRecord(const QString &folder);

QByteArray sha256Of(const QByteArray &content);

// "folder X" or "folders X, Y", as the log names where data lies.
QString inFolders(const QStringList &folders);

#endif
