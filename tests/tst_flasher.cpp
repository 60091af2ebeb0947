// Whole installations with the real flasher: the demo's flashing script runs
// esptool 4.7.0 (which scripts/esptool fetches) against the simulated
// receiver's ROM loader, as a release's script runs it against a board.

#include "testkit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>

namespace {
// The receiver's flash layout, restated so that a changed one is caught.
constexpr int firmwareOffset = 0x10000;

// Bytes that don't compress: a firmware written in several blocks.
QByteArray madeUpFirmware(int size)
{
    QByteArray image(size, '\0');
    quint32 seed = 7;
    for (char &byte : image) {
        seed = seed * 1103515245 + 12345;
        byte = char(seed >> 16);
    }
    return image;
}

// The esptool processes that run in this folder.
QStringList esptoolsIn(const QString &folder)
{
    QStringList found;
    for (const QString &pid : QDir("/proc").entryList({ "[0-9]*" }, QDir::Dirs)) {
        QFile cmdline("/proc/" + pid + "/cmdline");
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains("esptool")
            && QFileInfo("/proc/" + pid + "/cwd").symLinkTarget() == folder)
            found << pid;
    }
    return found;
}
}

class FlasherTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void completeInstallation();
    void flasherFails_data();
    void flasherFails();
    void quitStopsTheFlasher();

private:
    std::unique_ptr<Rig> rig;
    QMap<QString, QByteArray> before;
    QByteArray firmware;
    QStringList log() const { return rig->logLines(); }
};

void FlasherTest::initTestCase()
{
    if (!QFile::exists(VELTRA_ESPTOOL "/esptool/__init__.py"))
        QFAIL("no esptool in " VELTRA_ESPTOOL ": scripts/esptool fetches it");
}

// The demo's flashing script and small images in a release folder; the
// flasher's resets reach the receiver through the modem-line preload.
void FlasherTest::init()
{
    rig.reset();
    rig = std::make_unique<Rig>();
    rig->useFolderStore();
    ReceiverSimulator &receiver = rig->receiver;
    receiver.faults().bootText = ReceiverSimulator::esp32BootText();
    receiver.setResetLinesFile(rig->workspace.path() + "/modem-lines");
    for (const QString &name : dataFiles)
        receiver.putFile(name, sampleData(name));
    before = receiver.files();

    QFile::remove("flash.sh");
    QVERIFY(QFile::copy(VELTRA_SOURCE_DIR "/demo/flash.sh", "flash.sh"));
    firmware = madeUpFirmware(12 * 1024);
    rig->workspace.writeFile("firmware/veltra.bin", firmware);
    rig->workspace.writeFile("firmware/filesystem.bin", QByteArray(4096, char(0xFF)));
    // One try at connecting and at each block, so that a failure says so at once.
    rig->workspace.writeFile("esptool.cfg", "[esptool]\nconnect_attempts = 1\nwrite_block_attempts = 1\n");
    qputenv("PYTHONPATH", VELTRA_ESPTOOL);
    qputenv("VELTRA_MODEM_LINES_PRELOAD", MODEM_LINES_PRELOAD);
    qputenv("VELTRA_MODEM_LINES", QFile::encodeName(rig->workspace.path() + "/modem-lines"));
}

// esptool's own lines in the log pane, its progress redrawn in place; the
// firmware in the receiver's flash, the data back byte for byte.
void FlasherTest::completeInstallation()
{
    int progressLines = 0;
    int mostProgressLines = 0;
    QObject::connect(rig->logPane(), &QTextBrowser::textChanged, [&] {
        progressLines = log().filter(QRegularExpression("^Writing at 0x")).size();
        mostProgressLines = qMax(mostProgressLines, progressLines);
    });
    rig->window->show();
    rig->install();
    QVERIFY(rig->installationEnded(60000));
    // The pane still shows its last line, past esptool's lines redrawn in place.
    const QScrollBar *scroll = rig->logPane()->verticalScrollBar();
    QCOMPARE(scroll->value(), scroll->maximum());
    const QStringList lines = log();
    // One progress line at a time, redrawn until esptool's last word replaces it.
    QCOMPARE(mostProgressLines, 1);
    QCOMPARE(progressLines, 0);
    QCOMPARE(lines.last(), QString("-> Installation complete."));
    QVERIFY(lines.filter(QRegularExpression("^esptool.py v4\\.")).size() == 1);
    QVERIFY(lines.contains("Chip is ESP32-D0WD-V3 (revision v3.0)"));
    QCOMPARE(lines.count("Hash of data verified."), 2);
    QCOMPARE(lines.at(lines.indexOf("Hard resetting via RTS pin...") + 1), QString("...done"));
    QCOMPARE(rig->receiver.flashImage().mid(firmwareOffset, firmware.size()), firmware);
    for (const QString &name : dataFiles)
        QCOMPARE(rig->receiver.files().value(name), before.value(name));
}

void FlasherTest::flasherFails_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("said");      // esptool's own error line
    QTest::newRow("no download mode") << "never" << "A fatal error occurred: Failed to connect to ESP32: No serial data received.";
    QTest::newRow("writes stop halfway") << "halfway" << "A fatal error occurred: Serial data stream stopped: Possible serial noise or corruption.";
    QTest::newRow("wrong MD5") << "md5" << "A fatal error occurred: MD5 of file does not match data in flash!";
}

// A flasher that fails ends the installation in its own words, then the
// installer's; the saved data is named.
void FlasherTest::flasherFails()
{
    QFETCH(QString, fault);
    QFETCH(QString, said);
    ReceiverFaults &faults = rig->receiver.faults();
    faults.neverDownloadMode = fault == "never";
    faults.romLoader.stopHalfway = fault == "halfway";
    faults.romLoader.wrongMd5 = fault == "md5";
    rig->install();
    QVERIFY(rig->installationEnded(60000));
    const QStringList lines = log();
    const int failed = lines.indexOf("...failed");
    QVERIFY2(failed > 0, qPrintable(lines.join('\n')));
    QVERIFY(lines.mid(0, failed).contains(said));
    QCOMPARE(lines.at(failed + 1), QString("...the saved data was not put back; it is in the folder files"));
    for (const QString &name : dataFiles)
        QCOMPARE(rig->workspace.readFile("files/" + name), before.value(name));
}

// Quit while esptool runs, here trying for ever to reach a board that never
// enters download mode: esptool ends with the window.
void FlasherTest::quitStopsTheFlasher()
{
    rig->receiver.faults().neverDownloadMode = true;
    rig->workspace.writeFile("esptool.cfg", "[esptool]\nconnect_attempts = 0\n");
    const QString folder = QFileInfo(rig->workspace.path()).canonicalFilePath();
    QStringList running;
    bool closed = false;
    QObject::connect(rig->logPane(), &QTextBrowser::textChanged, [&] {
        if (running.isEmpty() && log().contains("Connecting...")) {
            running = esptoolsIn(folder);
            QTimer::singleShot(0, [&] { closed = rig->window->close(); });
        }
    });
    rig->window->show();
    rig->boxes.answer = QMessageBox::Yes;
    rig->install();
    QTRY_VERIFY_WITH_TIMEOUT(closed, 30000);
    QVERIFY(!running.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(esptoolsIn(folder), QStringList(), 10000);
}

QTEST_MAIN(FlasherTest)
#include "tst_flasher.moc"
