// libFuzzer target: arbitrary bytes from the receiver, cut into arbitrary
// pieces, through the real receive path (the link, its decoders and the
// file exchanges) on a real serial port served over a pseudo-terminal.
//
// Input: byte 0 picks the pending request, byte 1 a listed or uploaded
// size, the rest is a run of pieces, each a length byte and that many bytes.
// After every piece: the pending request is one the link knows, and every
// saved file lies inside "files" with exactly the size it was listed with.

#include "app/session.h"
#include "device/frames.h"
#include "device/receiverlink.h"
#include "receiversim/receiversimulator.h"
#include "storage/download.h"
#include "storage/listing.h"
#include "storage/upload.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {
const char *const modes[] = { "", "MEMORY", "LIST", "DOWNLOAD", "UPLOAD", "REMOVE", "ERASE", "EXECUTE", "REBOOT" };

struct Harness
{
    QTemporaryDir folder;
    ReceiverSimulator receiver;
    ReceiverLink link;
    StorageListing listing{ &link };
    FileDownload download{ &link };
    FileUpload upload{ &link };
    qint64 delivered = 0;
    quint32 listedSize = 0;
};
Harness *harness = nullptr;

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "invariant broken: %s\n", qPrintable(what));
    std::abort();
}

bool isKnownMode(const QString &value)
{
    for (const char *known : modes) {
        if (value == known)
            return true;
    }
    return false;
}

void checkSavedFiles()
{
    const QString root = QDir::current().absolutePath();
    QDirIterator walk(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        const QString path = walk.next();
        if (QFileInfo(path).absolutePath() != root + "/files")
            fail("file written outside the backup folder: " + path);
    }
}

// The request named by byte 0, as the file manager or the installation asks it.
void ask(const QString &request)
{
    if (request == Mode::Memory)
        harness->listing.refresh();
    else if (request == Mode::List)
        harness->link.askForList();
    else if (request == Mode::Download)
        harness->download.save("target.bin", harness->listedSize, "files", true);
    else if (request == Mode::Upload)
        harness->upload.send("scan.csv", QByteArray(int(harness->listedSize), 'u'));
    else if (request == Mode::Remove)
        harness->link.remove("scan.csv");
    else if (request == Mode::Erase)
        harness->link.format();
    else if (request == Mode::Execute)
        harness->link.execute("/index.htm");
    else if (request == Mode::Reboot)
        harness->link.reboot();
}
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    new QCoreApplication(*argc, *argv);
    // Connected before the link's reading, so it sees each arrival before it is read.
    QObject::connect(&serial, &QSerialPort::readyRead, [] { harness->delivered += serial.bytesAvailable(); });
    harness = new Harness;
    QDir::setCurrent(harness->folder.path());
    if (!harness->receiver.start())
        fail(harness->receiver.errorString());
    for (char command : { 'M', 'L', 'D', 'U', 'u', 'R', 'E', 'X', 'Q' })
        harness->receiver.faults().silentCommands.insert(command);

    QObject::connect(&harness->download, &FileDownload::saved, [] {
        const QFileInfo saved(file.fileName());
        if (saved.exists() && saved.size() != harness->listedSize)
            fail(QString("%1 holds %2 bytes, listed %3").arg(saved.filePath()).arg(saved.size()).arg(harness->listedSize));
    });
    if (!harness->link.open(harness->receiver.portName()))
        fail("can't open the simulated receiver's port");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));

    QDir("files").removeRecursively();
    QDir().mkdir("files");
    harness->link.giveUp();
    totalMemory = 1 << 20;
    usedMemory = 0;
    harness->listedSize = quint8(input.at(1));
    ask(modes[quint8(input.at(0)) % std::size(modes)]);

    int pos = 2;
    while (pos < input.size() && connected) {
        const int length = qMin(int(quint8(input.at(pos))) + 1, input.size() - pos - 1);
        const QByteArray piece = input.mid(pos + 1, length);
        pos += 1 + length;
        if (piece.isEmpty())
            break;
        const qint64 expected = harness->delivered + piece.size();
        harness->receiver.sendRaw(piece);
        QElapsedTimer waited;
        waited.start();
        while (harness->delivered < expected && connected) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            if (waited.elapsed() > 5000)
                fail("the link stopped reading the port");
        }
        if (!isKnownMode(mode))
            fail("unknown pending request: " + mode);
    }
    // A whole reply is taken once the line has stayed quiet for a moment:
    // that moment belongs to this input, not the next.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 5)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    checkSavedFiles();
    harness->receiver.clearLog();
    return 0;
}
