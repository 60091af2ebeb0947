#ifndef RESTORECHECK_H
#define RESTORECHECK_H

// The files a restore must put back, in the order it sends them, and the
// verdict on each: its size in the listing after its upload, then its
// content read back and compared with what was sent. A file that fails
// either check is sent once more; failing again, it is not put back.

#include <QByteArray>
#include <QString>
#include <QVector>

#include <optional>

class RestoreCheck
{
public:
    struct File
    {
        QString name;                   // on the receiver
        QString source;                 // on the PC
        QByteArray content;             // what is sent, once read from the source
        bool sentAgain = false;
        bool sizeRight = false;         // listed with the size sent
        bool back = false;              // read back equal
        bool failed = false;            // finally not put back
        bool optional = false;          // a data file the backup lacks: skipped, not missed
    };
    enum Verdict { Matches, SendAgain, NotPutBack };

    void clear();
    // A file the restore must put back, read from source.
    void expect(const QString &name, const QString &source);
    // A file the restore skips where the others are sent.
    void skip(const QString &name, const QString &source);
    int size() const;
    File &at(int index);
    const File &at(int index) const;

    // The file's size as the listing after its upload shows it, or nothing
    // when it isn't listed.
    Verdict judgeSize(int index, std::optional<quint32> listedSize);
    // What the receiver gave back when the file was read, or nothing when
    // it couldn't be read.
    Verdict judgeReadBack(int index, const std::optional<QByteArray> &readBack);
    void markFailed(int index);
    // Sent, listed whole and not yet read back.
    bool isToVerify(int index) const;
    bool anyToVerify() const;
    // Every expected file was read back equal.
    bool allPutBack() const;

private:
    Verdict failOrSendAgain(File &file);

    QVector<File> files;
};

#endif
