#include "device/receiverlink.h"
#include "app/session.h"
#include "device/frames.h"
#include "device/porterrors.h"

#include <QTimer>

namespace {
// What the status bar says for a command's reply; empty where it says nothing.
QString commandReplyWords(const QString &request, CommandReply reply)
{
    if (request == Mode::Remove)
        return reply == CommandReply::Accepted ? "removing complete" : "ESP32: can't remove the file";
    if (request == Mode::Erase)
        return "file system ESP32 formatted";
    if (reply == CommandReply::Accepted)
        return "file opened on ESP32";
    return reply == CommandReply::Refused ? "ESP32: file unsupported" : QString();
}
}

ReceiverLink::ReceiverLink(QObject *parent)
    : QObject(parent)
    , replyQuiet(new QTimer(this))
{
    replyQuiet->setSingleShot(true);
    replyQuiet->setTimerType(Qt::PreciseTimer);
    replyQuiet->setInterval(timings.replyQuietMs);
    connect(replyQuiet, &QTimer::timeout, this, &ReceiverLink::takeHeldReply);
    connect(&serial, &QSerialPort::readyRead, this, &ReceiverLink::readReply);
    connect(&serial, &QSerialPort::errorOccurred, this, &ReceiverLink::takePortError);
}

void ReceiverLink::setTimings(const LinkTimings &shorter)
{
    timings = shorter;
    replyQuiet->setInterval(timings.replyQuietMs);
}

bool ReceiverLink::open(const QString &portName)
{
    serial.setPortName(portName);
    serial.setBaudRate(QSerialPort::Baud115200, QSerialPort::AllDirections);
    serial.setDataBits(QSerialPort::Data8);
    serial.setParity(QSerialPort::NoParity);
    serial.setStopBits(QSerialPort::OneStop);
    serial.setFlowControl(QSerialPort::NoFlowControl);
    if (!serial.open(QIODevice::ReadWrite)) {
        failedOpen = serial.error();
        emit status("ESP32: can't use the port");
        return false;
    }
    serial.clear(QSerialPort::AllDirections);
    // An exchange cut short on an earlier link must not swallow this link's reply.
    giveUp();
    // Figures of 0 until this link's receiver has given its own.
    totalMemory = usedMemory = 0;
    readErrorsInARow = 0;
    restartRequested = false;
    connected = true;
    emit opened();
    return true;
}

void ReceiverLink::close()
{
    // A reply held back for the quiet line goes with the rest of the buffer.
    replyQuiet->stop();
    heldDownload.reset();
    heldListing.reset();
    recived.clear();
    serial.close();
    connected = false;
    emit closed();
}

bool ReceiverLink::isOpen() const
{
    return connected;
}

QSerialPort::SerialPortError ReceiverLink::openError() const
{
    return failedOpen;
}

bool ReceiverLink::isIdle() const
{
    return mode.isEmpty();
}

void ReceiverLink::giveUp()
{
    replyQuiet->stop();
    heldDownload.reset();
    heldListing.reset();
    mode.clear();
    recived.clear();
    sizeOfData = 0;
    sizeOfFile = 0;
    resumedAt = -1;
    emit dropped();
}

void ReceiverLink::request(const QString &name, const QByteArray &arguments)
{
    mode = name;
    recived.clear();
    resumedAt = -1;
    writeFrame(requestFrame(name, arguments));
}

// The frame goes to the driver at once instead of on the event loop's next
// pass: one exchange after another, that pass would add to every one of them.
void ReceiverLink::writeFrame(const QByteArray &frame)
{
    serial.write(frame);
    serial.flush();
    emit moved(frame.size());
}

void ReceiverLink::askForMemory()
{
    request(Mode::Memory);
}

void ReceiverLink::askForList()
{
    request(Mode::List);
}

void ReceiverLink::download(const QString &name, quint32 size)
{
    listedSize = size;
    sizeOfFile = 0;
    request(Mode::Download, pathArgument(devicePath(name)));
}

void ReceiverLink::startUpload(const QString &name, quint32 size)
{
    request(Mode::Upload, uploadArguments(devicePath(name), size));
}

void ReceiverLink::remove(const QString &name)
{
    request(Mode::Remove, pathArgument(devicePath(name)));
}

void ReceiverLink::format()
{
    request(Mode::Erase);
}

void ReceiverLink::execute(const QString &path)
{
    request(Mode::Execute, pathArgument(path));
}

void ReceiverLink::reboot()
{
    request(Mode::Reboot);
    restartRequested = true;
    emit status("ESP32 restarted");
}

void ReceiverLink::readReply()
{
    readErrorsInARow = 0;
    // Every byte the port holds, read straight onto the end of the buffer:
    // readAll() would first reserve room for a whole block of its own each time.
    const int held = recived.size();
    // Bytes after a pause in a file's content may be a restarted receiver's boot text.
    const bool stalled = !sinceArrival.isValid() || sinceArrival.elapsed() >= timings.replyStallMs;
    sinceArrival.start();
    if (stalled && mode == Mode::Download && sizeOfFile > 0 && resumedAt < 0)
        resumedAt = held;
    recived.resize(held + int(serial.bytesAvailable()));
    recived.resize(held + int(qMax<qint64>(0, serial.read(recived.data() + held, recived.size() - held))));
    emit lineActive();
    emit moved(recived.size() - held);
    // Looked for from a few bytes back: boot text may have begun in the last arrival.
    constexpr int bootTextStart = 7;
    if (mode != Mode::Download && mode != Mode::Upload && containsBootText(recived.mid(qMax(0, held - bootTextStart))))
        emit restarted();

    if (mode == Mode::Reboot) {
        mode.clear();
        recived.clear();
    } else if (mode == Mode::Download) {
        takeDownloadReply();
    } else if (mode == Mode::Upload) {
        takeUploadReply();
    } else if (mode == Mode::Memory) {
        takeMemoryReply();
    } else if (mode == Mode::List) {
        takeListReply();
    } else if (mode == Mode::Remove || mode == Mode::Erase || mode == Mode::Execute) {
        takeCommandReply();
    }
}

void ReceiverLink::takePortError(QSerialPort::SerialPortError error)
{
    if (!connected)
        return;
    if (error == QSerialPort::ReadError)
        ++readErrorsInARow;
    switch (portFault(error, readErrorsInARow, restartRequested)) {
    case PortFault::None:
        return;
    case PortFault::Restarting:
        close();
        return;
    case PortFault::Lost:
        close();
        emit status("ESP32: connection lost");
        emit lost(lostLinkWords());
        return;
    }
}

void ReceiverLink::takeMemoryReply()
{
    const MemoryReply reply = decodeMemoryReply(recived);
    if (!reply.complete)
        return;
    totalMemory = reply.total;
    usedMemory = reply.used;
    mode.clear();
    emit memory(totalMemory, usedMemory);
}

void ReceiverLink::takeListReply()
{
    if (heldListing) {
        // Bytes behind the list: it can't be told from what came with it.
        replyQuiet->stop();
        const ReceiverListing untrusted = *heldListing;
        heldListing.reset();
        endList(untrusted);
        return;
    }
    const ListReply reply = decodeListReply(recived, sizeOfData);
    if (reply.headerTaken)
        emit listingBegun();
    if (!reply.complete)
        return;
    const ReceiverListing listing{ totalMemory, usedMemory, reply.entries, reply.whole };
    if (!listing.whole) {
        endList(listing);
        return;
    }
    heldListing = listing;
    replyQuiet->start();
}

// A list is whole only when nothing came behind it before the line went quiet.
void ReceiverLink::endList(ReceiverListing listing)
{
    listing.whole = listing.whole && recived.isEmpty();
    mode.clear();
    emit listed(listing);
}

void ReceiverLink::takeDownloadReply()
{
    if (heldDownload) {
        // Bytes behind a whole reply: a restart's boot text, or the reply
        // can't be told from what came with it.
        replyQuiet->stop();
        DownloadReply ended;
        ended.kind = bytesBehindContent(*heldDownload + recived, heldDownload->size());
        if (ended.kind == DownloadReply::NeedMore)
            return;
        recived.clear();
        heldDownload.reset();
        endDownload(ended);
        return;
    }
    const DownloadReply reply = decodeDownloadReply(recived, sizeOfFile, listedSize, &resumedAt);
    switch (reply.kind) {
    case DownloadReply::NeedMore:
        return;
    case DownloadReply::Prepare:
        emit status("prepare to download...");
        return;
    case DownloadReply::Progress:
    case DownloadReply::Complete:
        emit status("downloaded " + QString::number(reply.percent) + "%");
        if (reply.kind == DownloadReply::Complete) {
            // Taken once the line has stayed quiet for a moment behind it:
            // bytes that come meanwhile, a repeated reply say, make it untrusted.
            heldDownload = reply.content;
            replyQuiet->start();
        }
        return;
    default:
        endDownload(reply);
        return;
    }
}

void ReceiverLink::endDownload(const DownloadReply &reply)
{
    mode.clear();
    if (reply.kind != DownloadReply::Complete)
        emit status(downloadReplyWords(reply.kind));
    emit downloadEnded(reply);
}

void ReceiverLink::takeHeldReply()
{
    if (heldListing) {
        const ReceiverListing whole = *heldListing;
        heldListing.reset();
        endList(whole);
    } else if (heldDownload) {
        DownloadReply whole;
        whole.kind = DownloadReply::Complete;
        whole.content = *heldDownload;
        heldDownload.reset();
        endDownload(whole);
    }
}

void ReceiverLink::takeUploadReply()
{
    const UploadReply reply = decodeUploadReply(recived);
    switch (reply) {
    case UploadReply::NeedMore:
        return;
    case UploadReply::Ready:
        emit readyForChunk();
        return;
    case UploadReply::Complete:
        emit status("uploading complete");
        break;
    case UploadReply::Stopped:
        emit status("uploading stoped");
        break;
    case UploadReply::Restarted:
        emit status("ESP32: restarted");
        break;
    }
    mode.clear();
    emit uploadEnded(reply);
}

// Stale bytes or the receiver's start-up noise never stand in front of a
// one-byte reply: every request starts from an empty buffer.
void ReceiverLink::takeCommandReply()
{
    const QString pending = mode;
    const CommandReply reply = pending == Mode::Remove ? decodeRemoveReply(recived)
                             : pending == Mode::Erase  ? decodeEraseReply(recived)
                                                       : decodeExecuteReply(recived);
    // A byte that means nothing leaves a remove or a format pending; any arrival ends an execute.
    if (reply == CommandReply::Waiting || (reply == CommandReply::Ignored && pending != Mode::Execute))
        return;
    const QString words = commandReplyWords(pending, reply);
    if (!words.isEmpty())
        emit status(words);
    mode.clear();
    emit answered(pending, reply);
}
