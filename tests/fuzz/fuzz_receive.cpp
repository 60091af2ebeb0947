// libFuzzer target: arbitrary bytes from the receiver, cut into arbitrary
// pieces, through the real receive path (dispatcher and every handler) on a
// real serial port served over a pseudo-terminal.
//
// Input: byte 0 picks the pending request, byte 1 sets batch flags and a
// listed or uploaded size, the rest
// is a run of pieces, each a length byte and that many bytes. After every
// piece: the pending request is one the manager knows, and every saved file
// lies inside "files" with exactly the size its reply announced.

#include "app/mainwindow.h"
#include "receiversim/receiversimulator.h"
#include "app/session.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMessageBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

namespace {
const char *const modes[] = { "", "MEMORY", "LIST", "DOWNLOAD", "UPLOAD", "REMOVE", "ERASE", "EXECUTE", "REBOOT" };

struct Harness
{
    QTemporaryDir folder;
    ReceiverSimulator receiver;
    MainWindow *window = nullptr;
    qint64 delivered = 0;
    QString savingFile;
    qint64 announcedSize = 0;
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

// Answers the boxes a batch upload may open, as a user would.
void closeBoxes()
{
    if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
        box->done(QMessageBox::Ok);
}
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv);
    harness = new Harness;
    QDir::setCurrent(harness->folder.path());
    if (!harness->receiver.start())
        fail(harness->receiver.errorString());
    for (char command : { 'M', 'L', 'D', 'U', 'u', 'R', 'E', 'X', 'Q' })
        harness->receiver.faults().silentCommands.insert(command);

    harness->window = new MainWindow;
    auto *ports = harness->window->findChild<QComboBox *>("comboBox");
    ports->addItem(harness->receiver.portName());
    ports->setCurrentText(harness->receiver.portName());

    // Connected before the dispatcher, so it sees each arrival before it is read.
    QObject::connect(&serial, &QSerialPort::readyRead, [] { harness->delivered += serial.bytesAvailable(); });
    QObject::connect(harness->window->statusBar(), &QStatusBar::messageChanged, [](const QString &text) {
        if (text.startsWith("downloaded ")) {
            harness->savingFile = file.fileName();
            harness->announcedSize = safety.listedSize;    // any other announced size is refused
        } else if (text == "downloading complete") {
            const QFileInfo saved(harness->savingFile);
            if (saved.size() != harness->announcedSize)
                fail(QString("%1 holds %2 bytes, announced %3").arg(saved.filePath()).arg(saved.size()).arg(harness->announcedSize));
        }
    });
    auto *boxes = new QTimer;
    QObject::connect(boxes, &QTimer::timeout, closeBoxes);
    boxes->start(5);

    QMetaObject::invokeMethod(harness->window, "on_pushButton_3_clicked", Qt::DirectConnection);
    if (!connected)
        fail("can't open the simulated receiver's port");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    auto *table = harness->window->findChild<QTableWidget *>("tableWidget");

    QDir("files").removeRecursively();
    QDir().mkdir("files");
    table->setRowCount(0);
    recived.clear();
    sizeOfData = 0;
    sizeOfFile = 0;
    installStat = 0;
    safety = SafetyState();
    totalMemory = 1 << 20;
    usedMemory = 0;
    mode = modes[quint8(input.at(0)) % std::size(modes)];
    const quint8 flags = quint8(input.at(1));
    currentRowDownloadAll = -1;
    nextFileNameUpload = flags & 2 ? "scan.csv" : "";
    if (mode == "DOWNLOAD") {
        // Through the slot, as a batch does: a listed file with a listed size.
        mode.clear();
        table->setRowCount(flags & 1 ? 2 : 1);
        for (int row = 0; row < table->rowCount(); ++row) {
            table->setItem(row, 1, new QTableWidgetItem(QString("target%1.bin").arg(row)));
            table->setItem(row, 2, new QTableWidgetItem(QString::number(flags >> 2)));
        }
        currentRowDownloadAll = 0;
        QMetaObject::invokeMethod(harness->window, "on_pushButton_clicked", Qt::DirectConnection);
    }
    if (mode == "UPLOAD") {
        dataBytes = QByteArray(int(flags >> 2), 'u');
        safety.uploadOffset = 0;
        sizeOfFile = dataBytes.size();
    }

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
                fail("the manager stopped reading the port");
        }
        if (!isKnownMode(mode))
            fail("unknown pending request: " + mode);
    }
    // A whole download reply is taken once the line has stayed quiet for a
    // moment: that moment belongs to this input, not the next.
    if (mode == "DOWNLOAD") {
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 5)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    checkSavedFiles();
    harness->receiver.clearLog();
    return 0;
}
