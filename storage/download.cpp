#include "storage/download.h"
#include "app/session.h"
#include "device/frames.h"
#include "device/receiverlink.h"
#include "storage/filenames.h"
#include "storage/wholefile.h"

FileDownload::FileDownload(ReceiverLink *link, QObject *parent)
    : QObject(parent)
    , link(link)
{
    connect(link, &ReceiverLink::downloadEnded, this, &FileDownload::take);
    connect(link, &ReceiverLink::dropped, this, [this] { pending = Pending::None; });
}

void FileDownload::beginBatch()
{
    savedNames.clear();
}

void FileDownload::save(const QString &name, quint32 listedSize, const QString &folder, bool inBatch)
{
    deviceName = name;
    if (listedSize > largestFileSize) {
        refuse(downloadReplyWords(DownloadReply::TooLarge));
        return;
    }
    const QString saving = savingName(devicePath(name));
    // Names that differ only in case are one file on Windows and macOS; a
    // backup folder may be carried to Windows from any system.
    if (inBatch && !rememberSavingName(saving, name)) {
        refuse("PC: two device files have the saving name " + saving);
        return;
    }
    const QString destination = folder + "/" + saving;
    emit status(destination);
    file.setFileName(destination);
    emit status("downloading, please wait...");
    pending = Pending::Save;
    link->download(name, listedSize);
}

void FileDownload::read(const QString &name, quint32 size)
{
    deviceName = name;
    pending = Pending::Read;
    link->download(name, size);
}

// False when another file of this batch was saved under the name.
bool FileDownload::rememberSavingName(const QString &saving, const QString &name)
{
    const QString key = windowsNameKey(saving);
    if (savedNames.contains(key))
        return savedNames.value(key) == name;
    savedNames.insert(key, name);
    return true;
}

void FileDownload::take(const DownloadReply &reply)
{
    const Pending was = std::exchange(pending, Pending::None);
    if (was == Pending::None)
        return;
    if (reply.kind == DownloadReply::Restarted) {
        emit interrupted();
        return;
    }
    if (was == Pending::Save) {
        endSaving(reply);
        return;
    }
    const bool brought = reply.kind == DownloadReply::Complete || reply.kind == DownloadReply::Empty;
    emit readBack(brought ? std::optional<QByteArray>(reply.content) : std::nullopt);
}

void FileDownload::endSaving(const DownloadReply &reply)
{
    switch (reply.kind) {
    case DownloadReply::Empty:
        emit saved(true);
        return;
    case DownloadReply::Complete:
        if (!saveWhole(file.fileName(), reply.content)) {
            refuse("PC: can't write downloading file");
            return;
        }
        emit status("downloading complete");
        emit saved(false);
        return;
    case DownloadReply::Refused:
        emit notSaved(deviceName + " can't be read from the device");
        return;
    default:
        emit notSaved(downloadReplyWords(reply.kind));
        return;
    }
}

// A file that can't be saved whole leaves a backup without it: the problem
// goes where the user looks, and a batch ends there, so that an
// installation never goes on to flash over the file.
void FileDownload::refuse(const QString &problem)
{
    emit status(problem);
    emit notSaved(problem);
}
