#ifndef RESTORECHECK_H
#define RESTORECHECK_H

// The check of a restore: every file it sent is read back from the receiver
// and compared with what was sent; a file that differs is sent once more
// and checked again before it counts as not put back.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

class RestoreCheck
{
public:
    struct File
    {
        QString name;                   // on the receiver
        QString source;                 // on the PC
        QByteArray content;             // what was sent
        bool sentAgain = false;
    };
    enum Verdict { Matches, SendAgain, NotPutBack };

    void clear();
    // The names that must be put back for the restore to be complete.
    void expect(const QStringList &names);
    // A file the restore has sent: what the receiver must now hold.
    void add(const QString &name, const QString &source, const QByteArray &content);
    const File *lastAdded() const;

    // Starts reading back from the first file; current() is the file being
    // checked, nullptr before the start and once every file is judged.
    void start();
    const File *current() const;
    // Judges the current file by what the receiver holds, or by nothing when
    // it couldn't be read back, and moves on unless it is to be sent again.
    Verdict judge(const std::optional<QByteArray> &readBack);
    // Every expected file was sent, and every file sent was read back equal.
    bool allPutBack() const;

private:
    QStringList expected;
    QVector<File> files;
    int position = -1;
    bool failed = false;
};

#endif
