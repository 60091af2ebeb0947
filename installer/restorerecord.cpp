#include "installer/restorerecord.h"
#include "storage/filenames.h"
#include "storage/wholefile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {
// "files" and the eight-digit folders older backups were moved to, links among them.
QStringList backupFolders()
{
    QStringList folders = QDir().entryList({ "[0-9][0-9][0-9][0-9][0-9][0-9][0-9][0-9]" }, QDir::Dirs | QDir::System);
    folders.prepend("files");
    return folders;
}

bool isLink(const QString &path)
{
    const QFileInfo info(path);
    return info.isSymLink() || info.isJunction();
}

// A link, or a folder whose real place is outside the working folder,
// could lead anywhere: what it holds is never read or changed.
bool leadsElsewhere(const QString &folder)
{
    if (isLink(folder) || isLink(folder + "/" + restoreRecordName()))
        return true;
    const QString inside = QDir::current().canonicalPath() + "/";
    return !QFileInfo(folder).canonicalFilePath().startsWith(inside);
}

QString recordPath(const QString &folder)
{
    return folder + "/" + restoreRecordName();
}

// A file's folder is kept as "." when it is the record's own, which moves
// with the record when "files" is moved aside.
QByteArray toJson(const RestoreRecord &record)
{
    QJsonArray files;
    for (const RecordedFile &file : record.files) {
        files.append(QJsonObject{
            { "name", file.name },
            { "folder", file.folder == record.folder ? QString(".") : file.folder },
            { "size", file.size },
            { "sha256", QString::fromLatin1(file.sha256) },
        });
    }
    const QJsonObject root{
        { "sequence", record.sequence },
        { "saved", record.saved.toOffsetFromUtc(record.saved.offsetFromUtc()).toString(Qt::ISODate) },
        { "files", files },
    };
    return QJsonDocument(root).toJson();
}

std::optional<RestoreRecord> fromJson(const QByteArray &json, const QString &folder)
{
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    RestoreRecord record;
    record.folder = folder;
    // A whole number, exactly as a double holds it, or the record is damaged.
    const double sequence = root.value("sequence").toDouble(-1);
    if (!(sequence >= 1 && sequence <= double(largestSequence) && sequence == std::floor(sequence)))
        return std::nullopt;
    record.sequence = qint64(sequence);
    record.saved = QDateTime::fromString(root.value("saved").toString(), Qt::ISODate);
    if (!record.saved.isValid() || !root.value("files").isArray())
        return std::nullopt;
    for (const QJsonValue &value : root.value("files").toArray()) {
        const QJsonObject entry = value.toObject();
        RecordedFile file;
        file.name = entry.value("name").toString();
        const QString in = entry.value("folder").toString();
        file.folder = in == "." ? folder : in;
        file.size = entry.value("size").toVariant().toLongLong();
        file.sha256 = entry.value("sha256").toString().toLatin1();
        // Only plain file names, in the backup folders of this working folder.
        static const QRegularExpression backupFolder("^(files|[0-9]{8})$");
        if (file.name.isEmpty() || file.name != savingName("/" + file.name) || !backupFolder.match(file.folder).hasMatch()
            || file.sha256.size() != 64)
            return std::nullopt;
        record.files.append(file);
    }
    return record;
}
}

QString RecordedFile::path() const
{
    return folder + "/" + name;
}

const RecordedFile *RestoreRecord::file(const QString &name) const
{
    for (const RecordedFile &candidate : files) {
        if (candidate.name == name)
            return &candidate;
    }
    return nullptr;
}

QStringList RestoreRecord::dataFolders() const
{
    QStringList folders;
    for (const RecordedFile &file : files) {
        if (!folders.contains(file.folder))
            folders << file.folder;
    }
    return folders;
}

QString RestoreRecord::savedOn() const
{
    return QLocale::system().toString(saved.toLocalTime(), QLocale::ShortFormat);
}

QString inFolders(const QStringList &folders)
{
    return (folders.size() == 1 ? "folder " : "folders ") + folders.join(", ");
}

QByteArray sha256Of(const QByteArray &content)
{
    return QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex();
}

qint64 RecordSearch::nextSequence() const
{
    return qMin(highestSequence + 1, largestSequence);
}

RecordSearch findRecords()
{
    RecordSearch search;
    for (const QString &folder : backupFolders()) {
        if (!isLink(folder) && !QFileInfo::exists(recordPath(folder)))
            continue;
        if (leadsElsewhere(folder)) {
            search.linked << folder;
            continue;
        }
        QFile in(recordPath(folder));
        const std::optional<RestoreRecord> record = in.open(QIODevice::ReadOnly) ? fromJson(in.readAll(), folder)
                                                                                 : std::nullopt;
        if (!record) {
            search.damaged << folder;
            continue;
        }
        search.highestSequence = qMax(search.highestSequence, record->sequence);
        search.readable.append(*record);
    }
    // Newest first; records of one sequence by the time they were saved.
    std::sort(search.readable.begin(), search.readable.end(), [](const RestoreRecord &a, const RestoreRecord &b) {
        return a.sequence != b.sequence ? a.sequence > b.sequence : a.saved > b.saved;
    });
    return search;
}

QString recordProblem(const RestoreRecord &record)
{
    for (const RecordedFile &file : record.files) {
        if (isLink(file.path()) || leadsElsewhere(file.folder))
            return file.name + " is a link to another place";
        QFile in(file.path());
        if (!in.open(QIODevice::ReadOnly))
            return file.name + " is missing";
        const QByteArray content = in.readAll();
        if (content.size() != file.size || sha256Of(content) != file.sha256)
            return file.name + " is not as it was saved";
    }
    return QString();
}

bool writeRecord(const RestoreRecord &record)
{
    return saveWhole(recordPath(record.folder), toJson(record));
}

bool removeRecord(const QString &folder)
{
    return !QFile::exists(recordPath(folder)) || QFile::remove(recordPath(folder));
}
