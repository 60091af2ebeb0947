#include "receiversim/receiversimulator.h"
#include "receiversim/linepacer.h"
#include "receiversim/resetlines.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {
const QByteArray tag("K-Marigold______");
constexpr int headerSize = 17;          // tag and command letter
constexpr int piecesGapMs = 30;         // so that pieces arrive as separate reads
constexpr int repeatAfterMs = 5;
constexpr int resetAfterPauseMs = 50;   // a cut reply pauses before the restart's boot text
constexpr double wireBytesPerSecond = 11520; // 115200 baud, 10 bits a byte

QByteArray bigEndian(quint32 value)
{
    QByteArray field(4, '\0');
    for (int i = 0; i < 4; ++i)
        field[i] = char(value >> (24 - 8 * i));
    return field;
}

quint32 bigEndianAt(const QByteArray &data, int pos)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = value << 8 | quint8(data.at(pos + i));
    return value;
}

// Receiver names may hold anything; in the folder they are percent-encoded,
// and so is a leading dot, so that "." and ".." stay ordinary files.
QString fileNameFor(const QString &name)
{
    QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(name));
    if (encoded.startsWith('.'))
        encoded.replace(0, 1, "%2E");
    return encoded;
}

bool isExecutable(const QString &name)
{
    static const QStringList opened = { "htm", "html", "txt", "bmp", "jpg", "png", "wav", "mp3" };
    return opened.contains(name.section('.', -1).toLower());
}
}

ReceiverSimulator::ReceiverSimulator(QObject *parent)
    : QObject(parent), flash(flashSize, char(0xFF))
{
    clock.start();
}

ReceiverSimulator::~ReceiverSimulator()
{
    unplug();
}

bool ReceiverSimulator::start()
{
    masterFd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (masterFd < 0 || grantpt(masterFd) != 0 || unlockpt(masterFd) != 0) {
        error = QString("can't open a pseudo-terminal: %1").arg(strerror(errno));
        return false;
    }
    slavePath = QString::fromLocal8Bit(ptsname(masterFd));
    // Held open so that the master never sees a hang-up between connections.
    slaveFd = ::open(ptsname(masterFd), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slaveFd < 0) {
        error = QString("can't open %1: %2").arg(slavePath, strerror(errno));
        return false;
    }
    termios raw;
    tcgetattr(slaveFd, &raw);
    cfmakeraw(&raw);
    tcsetattr(slaveFd, TCSANOW, &raw);

    if (!linkPath.isEmpty()) {
        QFile::remove(linkPath);
        QFile::link(slavePath, linkPath);
    }

    readNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Read, this);
    connect(readNotifier, &QSocketNotifier::activated, this, &ReceiverSimulator::readInput);
    writeNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Write, this);
    writeNotifier->setEnabled(false);
    connect(writeNotifier, &QSocketNotifier::activated, this, &ReceiverSimulator::flushOutput);
    return true;
}

QString ReceiverSimulator::portName() const { return linkPath.isEmpty() ? slavePath : linkPath; }

void ReceiverSimulator::setPortLink(const QString &path)
{
    if (!linkPath.isEmpty())
        QFile::remove(linkPath);
    linkPath = path;
    QFile::remove(linkPath);
    if (isPlugged())
        QFile::link(slavePath, linkPath);
}
QString ReceiverSimulator::errorString() const { return error; }

void ReceiverSimulator::setStoreFolder(const QString &path)
{
    folder = path;
    QDir().mkpath(folder);
    // A port that leaves at a restart must be gone before the installer opens it again.
    if (!resetPoll) {
        resetPoll = new QTimer(this);
        connect(resetPoll, &QTimer::timeout, this, [this] {
            if (scripted.goneAfterResetMs > 0 && takeResetRequest())
                reset(true);
        });
        resetPoll->start(20);
    }
    for (auto it = store.cbegin(); it != store.cend(); ++it)
        saveFile(it.key());
    loadFolder();
}

void ReceiverSimulator::setBaudPacing(bool on)
{
    delete incoming;
    delete outgoing;
    incoming = outgoing = nullptr;
    if (!on)
        return;
    incoming = new LinePacer(wireBytesPerSecond, this);
    connect(incoming, &LinePacer::delivered, this, &ReceiverSimulator::takeInput);
    outgoing = new LinePacer(wireBytesPerSecond, this);
    connect(outgoing, &LinePacer::delivered, this, &ReceiverSimulator::writeOutput);
}

void ReceiverSimulator::setResetLinesFile(const QString &path)
{
    delete resetLines;
    resetLines = new ResetLines(path, this);
    connect(resetLines, &ResetLines::started, this, &ReceiverSimulator::boardStarted);
}

QByteArray ReceiverSimulator::flashImage() const { return flash; }
bool ReceiverSimulator::inDownloadMode() const { return loader != nullptr; }

void ReceiverSimulator::setCapacity(quint32 bytes) { capacityBytes = bytes; }
quint32 ReceiverSimulator::capacity() const { return capacityBytes; }

void ReceiverSimulator::putFile(const QString &name, const QByteArray &content)
{
    store.insert(name, content);
    saveFile(name);
}

QMap<QString, QByteArray> ReceiverSimulator::files() const
{
    if (folder.isEmpty())
        return store;
    const_cast<ReceiverSimulator *>(this)->loadFolder();
    return store;
}

void ReceiverSimulator::clearFiles()
{
    const QStringList names = files().keys();
    for (const QString &name : names)
        removeFile(name);
}

ReceiverFaults &ReceiverSimulator::faults() { return scripted; }
QVector<ReceivedRequest> ReceiverSimulator::requests() const { return log; }
QByteArray ReceiverSimulator::received() const { return rawLog; }

void ReceiverSimulator::clearLog()
{
    log.clear();
    rawLog.clear();
}

void ReceiverSimulator::sendRaw(const QByteArray &bytes) { queueOutput(bytes); }

void ReceiverSimulator::unplug()
{
    delete readNotifier;
    readNotifier = nullptr;
    delete writeNotifier;
    writeNotifier = nullptr;
    if (masterFd >= 0)
        ::close(masterFd);
    if (slaveFd >= 0)
        ::close(slaveFd);
    masterFd = slaveFd = -1;
    output.clear();
    if (!linkPath.isEmpty())
        QFile::remove(linkPath);
}

void ReceiverSimulator::reset(bool afterFlash)
{
    stopFirmware();
    startsAt = clock.elapsed() + (afterFlash ? scripted.startAfterFlashMs : scripted.startMs);
    if (scripted.goneAfterResetMs > 0) {
        unplug();
        QTimer::singleShot(scripted.goneAfterResetMs, this, [this] {
            if (start() && !scripted.bootText.isEmpty())
                queueOutput(scripted.bootText);
        });
        return;
    }
    if (!scripted.bootText.isEmpty())
        queueOutput(scripted.bootText);
}

// What a reset leaves of the firmware's exchange.
void ReceiverSimulator::stopFirmware()
{
    if (uploading)
        keepPartialUpload();
    uploading = false;
    input.clear();
    previousReply.clear();
}

void ReceiverSimulator::boardStarted(ResetCircuit::Boot boot, bool late)
{
    if (scripted.neverDownloadMode)
        return;
    if (boot == ResetCircuit::Boot::Firmware) {
        startFirmware();
        return;
    }
    stopFirmware();
    loader = std::make_unique<RomLoader>(flash, scripted.romLoader, [this](quint32 offset, quint32 size) {
        flashWritten = true;
        if (offset + size > fileSystemOffset)
            clearFiles();
    });
    if (!late)
        queueOutput(RomLoader::bootText());
}

// After a reset with IO0 high, or from the ROM loader told to leave.
void ReceiverSimulator::startFirmware()
{
    loader.reset();
    reset(std::exchange(flashWritten, false));
}

QByteArray ReceiverSimulator::esp32BootText()
{
    return "ets Jul 29 2019 12:21:46\r\n\r\n"
           "rst:0x1 (POWERON_RESET),boot:0x13 (SPI_FAST_FLASH_BOOT)\r\n"
           "configsip: 0, SPIWP:0xee\r\n"
           "clk_drv:0x00,q_drv:0x00,d_drv:0x00,cs0_drv:0x00,hd_drv:0x00,wp_drv:0x00\r\n"
           "mode:DIO, clock div:2\r\n"
           "load:0x3fff0030,len:1184\r\n"
           "load:0x40078000,len:13232\r\n"
           "load:0x40080400,len:3028\r\n"
           "entry 0x40080600\r\n";
}

bool ReceiverSimulator::takeResetRequest()
{
    return !folder.isEmpty() && QFile::remove(QDir(folder).filePath(".reset"));
}

// A firmware that writes each chunk as it comes keeps an upload cut short.
void ReceiverSimulator::keepPartialUpload()
{
    if (!scripted.keepPartialUploads)
        return;
    store.insert(uploadName, uploadContent);
    saveFile(uploadName);
}

// True once, when the scripted restart is due at this point of an exchange.
bool ReceiverSimulator::takeResetDuring(char command, const QString &path, int at)
{
    auto &due = scripted.resetDuring;
    if (due.command != command || due.path != path || (command == 'U' && due.after != at))
        return false;
    due.command = 0;
    return true;
}

bool ReceiverSimulator::isPlugged() const { return masterFd >= 0; }
qint64 ReceiverSimulator::bytesRead() const { return readCount; }
qint64 ReceiverSimulator::bytesWritten() const { return writeCount; }

void ReceiverSimulator::readInput()
{
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(masterFd, chunk, sizeof chunk);
        if (n <= 0)
            break;
        const QByteArray bytes(chunk, int(n));
        if (incoming)
            incoming->push(bytes);
        else
            takeInput(bytes);
    }
}

void ReceiverSimulator::takeInput(const QByteArray &bytes)
{
    // The host set its lines before it sent these bytes.
    if (resetLines)
        resetLines->catchUp(true);
    readCount += bytes.size();
    rawLog += bytes;
    if (loader) {
        const QByteArray answer = loader->take(bytes);
        if (!answer.isEmpty())
            queueOutput(answer);
        if (loader->leaving())
            startFirmware();
        return;
    }
    input += bytes;
    while (masterFd >= 0 && parseRequest()) {
    }
}

// Takes one whole request from the front of the input and answers it; false
// while the request is still incomplete.
bool ReceiverSimulator::parseRequest()
{
    const int start = input.indexOf(tag);
    if (start < 0) {
        // Keep a tail that may be the beginning of a tag.
        input = input.right(tag.size() - 1);
        return false;
    }
    input.remove(0, start);
    if (input.size() < headerSize)
        return false;

    ReceivedRequest request;
    request.command = input.at(16);
    int length = headerSize;
    switch (request.command) {
    case 'D': case 'R': case 'X':
        if (input.size() < headerSize + 4)
            return false;
        length += 4 + int(bigEndianAt(input, headerSize));
        if (input.size() < length)
            return false;
        request.path = QString::fromUtf8(input.mid(headerSize + 4, length - headerSize - 4));
        break;
    case 'U':
        if (uploading) {
            if (input.size() < headerSize + 1)
                return false;
            length += 1 + quint8(input.at(headerSize));
        } else {
            if (input.size() < headerSize + 8)
                return false;
            length += 8 + int(bigEndianAt(input, headerSize));
            if (input.size() < length)
                return false;
            request.path = QString::fromUtf8(input.mid(headerSize + 8, length - headerSize - 8));
        }
        break;
    default:
        break;
    }
    if (input.size() < length)
        return false;
    request.raw = input.left(length);
    input.remove(0, length);
    log.append(request);
    answer(request);
    return true;
}

namespace {
// True when a fault counted per file applies to this one now, and counts it.
bool takeFault(QMap<QString, int> &faults, const QString &name)
{
    const int left = faults.value(name, 0);
    if (left == 0)
        return false;
    if (left > 0)
        faults[name] = left - 1;
    return true;
}
}

void ReceiverSimulator::answer(const ReceivedRequest &request)
{
    if (takeResetRequest())
        reset(true);
    // Files added or removed in the folder, by a flashing script say, count
    // from the next request on.
    if (!folder.isEmpty() && QFileInfo(folder).lastModified() != folderTime)
        loadFolder();
    answering = request.command;
    opensExchange = request.command != 'u' && !(request.command == 'U' && uploading);
    emit requestReceived(request.command, request.path);
    // Until its firmware runs, a restarting receiver hears nothing.
    if (masterFd < 0 || clock.elapsed() < startsAt)
        return;
    const QString name = request.path.mid(1);
    const bool silent = scripted.silentCommands.contains(request.command);

    switch (request.command) {
    case 'M':
        if (!silent)
            reply(scripted.memoryReplyOverride.isEmpty() ? bigEndian(capacityBytes) + bigEndian(usedBytes())
                                                         : scripted.memoryReplyOverride);
        break;
    case 'L':
        if (!silent)
            reply(scripted.listReplyOverride.isEmpty() ? listReply() : scripted.listReplyOverride);
        break;
    case 'D':
        if (silent)
            break;
        if (!store.contains(name) || scripted.refusedDownloads.contains(name)) {
            reply("d");
        } else {
            const QByteArray whole = bigEndian(quint32(store.value(name).size())) + store.value(name);
            if (takeResetDuring('D', request.path, 0)) {
                queueOutput(whole.left(scripted.resetDuring.after));
                QTimer::singleShot(resetAfterPauseMs, this, [this] { reset(false); });
            } else {
                reply(whole);
            }
        }
        break;
    case 'U':
        if (!uploading) {
            uploading = true;
            uploadName = name;
            uploadContent.clear();
            uploadChunks = 0;
        } else {
            uploadContent += request.raw.mid(headerSize + 1);
            ++uploadChunks;
        }
        if (takeResetDuring('U', request.path.isEmpty() ? "/" + uploadName : request.path, uploadChunks)) {
            reset(false);
            break;
        }
        if (silent)
            break;
        if (scripted.stopUploadAfterChunk == uploadChunks) {
            keepPartialUpload();
            uploading = false;
            reply("a");
        } else {
            reply("A");
        }
        break;
    case 'u':
        if (uploading) {
            uploading = false;
            QByteArray stored = uploadContent;
            if (takeFault(scripted.storeShort, uploadName))
                stored.chop(1);
            if (takeFault(scripted.storeAltered, uploadName) && !stored.isEmpty())
                stored[stored.size() - 1] = char(stored.at(stored.size() - 1) ^ 0x20);
            store.insert(uploadName, stored);
            saveFile(uploadName);
        }
        if (!silent)
            reply("u");
        break;
    case 'R':
        if (silent)
            break;
        if (store.contains(name) && !scripted.refusedRemoves.contains(name)) {
            removeFile(name);
            reply("R");
        } else {
            reply("r");
        }
        break;
    case 'E':
        clearFiles();
        if (!silent)
            reply("E");
        break;
    case 'X':
        if (!silent)
            reply(store.contains(name) && isExecutable(name) ? "X" : "x");
        break;
    case 'Q':
        if (!silent)
            reset(false);
        break;
    default:
        break;
    }
}

void ReceiverSimulator::reply(const QByteArray &bytes)
{
    const QByteArray repeated = scripted.repeatPrevious ? previousReply : QByteArray();
    previousReply = scripted.strayBeforeReply + bytes + scripted.strayAfterReply;
    const QByteArray whole = repeated + previousReply;
    if (scripted.answerTwice)
        QTimer::singleShot(repeatAfterMs, this, [this, whole] { queueOutput(whole); });

    QVector<QByteArray> pieces;
    int pos = 0;
    for (int size : scripted.pieceSizes) {
        if (pos >= whole.size())
            break;
        pieces.append(whole.mid(pos, size));
        pos += size;
    }
    if (pos < whole.size())
        pieces.append(whole.mid(pos));

    const int delay = scripted.delayMs + scripted.lateReplies.value(answering, 0) + (opensExchange ? scripted.slowFirstAnswerMs : 0);
    const int gap = scripted.pieceSizes.isEmpty() ? 0 : qMax(piecesGapMs, delay);
    if (delay == 0 && gap == 0) {
        queueOutput(whole);
        return;
    }
    for (int i = 0; i < pieces.size(); ++i) {
        const QByteArray piece = pieces.at(i);
        QTimer::singleShot(delay + i * gap, this, [this, piece] { queueOutput(piece); });
    }
}

void ReceiverSimulator::queueOutput(const QByteArray &bytes)
{
    if (outgoing)
        outgoing->push(bytes);
    else
        writeOutput(bytes);
}

void ReceiverSimulator::writeOutput(const QByteArray &bytes)
{
    if (masterFd < 0)
        return;
    output += bytes;
    flushOutput();
}

void ReceiverSimulator::flushOutput()
{
    if (masterFd < 0)
        return;
    while (!output.isEmpty()) {
        const ssize_t n = ::write(masterFd, output.constData(), size_t(output.size()));
        if (n <= 0)
            break;
        writeCount += n;
        output.remove(0, int(n));
    }
    writeNotifier->setEnabled(!output.isEmpty());
}

QByteArray ReceiverSimulator::listReply() const
{
    QByteArray body;
    for (auto it = store.cbegin(); it != store.cend(); ++it) {
        const QByteArray name = it.key().toUtf8();
        body += bigEndian(quint32(name.size())) + bigEndian(quint32(it.value().size())) + name;
    }
    return bigEndian(quint32(body.size())) + body;
}

quint32 ReceiverSimulator::usedBytes() const
{
    if (scripted.usedOverride != 0)
        return scripted.usedOverride;
    quint32 used = 0;
    for (const QByteArray &content : store)
        used += quint32(content.size());
    return used;
}

void ReceiverSimulator::loadFolder()
{
    folderTime = QFileInfo(folder).lastModified();
    store.clear();
    const QDir dir(folder);
    for (const QString &entry : dir.entryList(QDir::Files | QDir::Hidden)) {
        if (entry == ".reset")
            continue;
        QFile f(dir.filePath(entry));
        if (f.open(QIODevice::ReadOnly))
            store.insert(QUrl::fromPercentEncoding(entry.toLatin1()), f.readAll());
    }
}

void ReceiverSimulator::saveFile(const QString &name)
{
    if (folder.isEmpty())
        return;
    QFile f(QDir(folder).filePath(fileNameFor(name)));
    if (f.open(QIODevice::WriteOnly))
        f.write(store.value(name));
    f.close();
    folderTime = QFileInfo(folder).lastModified();
}

void ReceiverSimulator::removeFile(const QString &name)
{
    store.remove(name);
    if (!folder.isEmpty()) {
        QFile::remove(QDir(folder).filePath(fileNameFor(name)));
        folderTime = QFileInfo(folder).lastModified();
    }
}
