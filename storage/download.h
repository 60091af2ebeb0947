#ifndef DOWNLOAD_H
#define DOWNLOAD_H

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

#include <optional>

class ReceiverLink;
struct DownloadReply;

// A listed file of the receiver, saved whole into a folder on the PC, or
// read into memory to be compared. Nothing is written before the whole
// content has come, so a download cut short leaves no file.
class FileDownload : public QObject
{
    Q_OBJECT

public:
    explicit FileDownload(ReceiverLink *link, QObject *parent = nullptr);

    // A batch saves into one folder: two of its files never share a saving name.
    void beginBatch();
    void save(const QString &name, quint32 listedSize, const QString &folder, bool inBatch);
    void read(const QString &name, quint32 size);

signals:
    void status(const QString &text);
    void saved(bool empty);                 // whole on disk; an empty file is not written
    void notSaved(const QString &problem);
    void readBack(const std::optional<QByteArray> &content);    // none when it couldn't be read
    void interrupted();                     // the receiver restarted in the middle of it

private:
    void take(const DownloadReply &reply);
    void endSaving(const DownloadReply &reply);
    void refuse(const QString &problem);
    bool rememberSavingName(const QString &saving, const QString &deviceName);

    ReceiverLink *link;
    enum class Pending { None, Save, Read } pending = Pending::None;
    QString deviceName;
    // Saving names of this batch as Windows compares them, and whose they are.
    QHash<QString, QString> savedNames;
};

#endif
