// The whole firmware installation over the simulated receiver: backup,
// flashing script, restore and restart, and the ways it can go wrong.

#include "installer/backupfolder.h"
#include "app/session.h"
#include "device/frames.h"
#include "testkit.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

class InstallTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void completeInstallation();
    void olderBackupMovedAside();
    void backupFolderCantBeMoved();
    void silentReceiverAsks();
    void receiverSilentAfterFlash();
    void slowOrRestartingReceiver_data();
    void slowOrRestartingReceiver();
    void unreadableFileListCancels();
    void pendingListOfEmptyReceiverSkipsBackup();
    void checkAfterCompletedListingDoesNothing();
    void flashingFailure_data();
    void flashingFailure();
    void missingDataFileSkipped();
    void stoppedUploadsMoveOn();
    void restoreVerified_data();
    void restoreVerified();
    void cancelDuringVerification();
    void waitsForCancel_data();
    void waitsForCancel();
    void unwritableBackupFileNeverFlashes();
    void cancelDuringBackup();
    void cancelledCheckNeverRestarts();
    void checkOfEarlierLinkIgnored();
    void slowFlashKeepsRestore();
    void flashingKeepsWindowServed();
    void quittingDuringFlashStopsTheScript();
    void germanLanguageFile();
    void emptyFileSystem();

private:
    std::unique_ptr<Rig> rig;
    QMap<QString, QByteArray> before;
    void plantReceiver(bool withExtras = true);
    void install();
    bool finished();
    QStringList log() const { return rig->logLines(); }
};

void InstallTest::init()
{
    rig.reset();
    rig = std::make_unique<Rig>();
    rig->useFolderStore();
    qunsetenv("VELTRA_FLASH_FAIL");
}

void InstallTest::plantReceiver(bool withExtras)
{
    for (int i = 0; i < dataFiles.size(); ++i)
        rig->receiver.putFile(dataFiles.at(i), sampleData(dataFiles.at(i), 40 + 30 * i));
    if (withExtras) {
        rig->receiver.putFile("eng.lng", "old language file");
        rig->receiver.putFile("notes.txt", QByteArray(3000, 'n'));
        rig->receiver.putFile("empty.txt", QByteArray());
    }
    before = rig->receiver.files();
}

void InstallTest::install()
{
    rig->install();
}

bool InstallTest::finished()
{
    return rig->installationEnded();
}

void InstallTest::completeInstallation()
{
    plantReceiver();
    install();
    QVERIFY(finished());

    const QStringList expected = {
        "-> Start installation...", "...connected to device", "", "-> Save data from device:",
        "ap.csv", "city.csv", "empty.txt", "...skipped", "eng.lng", "notes.txt", "preset.csv", "scan.csv",
        "...disconnected", "", "-> Install firmware...", "...done", "...connected to device", "",
        "-> Restore data to device:", "ap.csv", "city.csv", "preset.csv", "scan.csv", "eng.lng", "",
        "-> Verify restored data:", "ap.csv ...ok", "city.csv ...ok", "preset.csv ...ok", "scan.csv ...ok",
        "eng.lng ...ok", "", "-> Installation complete.",
    };
    QCOMPARE(rig->installerLog(), expected);

    // The backup holds every non-empty file the receiver had, byte for byte.
    QStringList saved = QDir("files").entryList(QDir::Files);
    QCOMPARE(saved, QStringList({ "ap.csv", "city.csv", "eng.lng", "notes.txt", "preset.csv", "scan.csv" }));
    for (const QString &name : saved)
        QCOMPARE(rig->workspace.readFile("files/" + name), before.value(name));

    // The flashed receiver got its data back and the chosen language file.
    const QMap<QString, QByteArray> after = rig->receiver.files();
    QCOMPARE(after.keys(), QStringList({ "ap.csv", "city.csv", "eng.lng", "preset.csv", "scan.csv" }));
    for (const QString &name : dataFiles)
        QCOMPARE(after.value(name), before.value(name));
    QCOMPARE(after.value("eng.lng"), rig->workspace.readFile("firmware/languages/eng.lng"));

    QVERIFY(rig->workspace.readFile("firmware/install.log").contains("display ili9341 on " + rig->receiver.portName().toUtf8()));
    QCOMPARE(mode, QString("REBOOT"));
    QVERIFY(connected);
    QTRY_VERIFY(requestLetters(rig->receiver).endsWith("Q"));
    QVERIFY(!rig->window->findChild<QPushButton *>("pushButton_9")->isVisibleTo(rig->window.get()));
    QVERIFY(rig->boxes.texts.isEmpty());
    for (const char *name : { "pushButton_6", "pushButton_Install", "pushButton_Driver", "comboBox", "comboBox_2",
                              "comboBox_language" })
        QVERIFY2(rig->window->findChild<QWidget *>(name)->isEnabled(), name);
    QCOMPARE(rig->status(), QString("ESP32 restarted"));
    QVERIFY(eightDigitFolders().isEmpty());
}

void InstallTest::olderBackupMovedAside()
{
    plantReceiver(false);
    rig->workspace.writeFile("files/ap.csv", "the older backup");
    rig->workspace.writeFile("files/old-only.txt", "kept");
    install();
    QVERIFY(finished());
    const QStringList aside = eightDigitFolders();
    QCOMPARE(aside.size(), 1);
    QCOMPARE(rig->workspace.readFile(aside.first() + "/ap.csv"), QByteArray("the older backup"));
    QCOMPARE(rig->workspace.readFile(aside.first() + "/old-only.txt"), QByteArray("kept"));
    QCOMPARE(QDir("files").entryList(QDir::Files), QStringList(dataFiles));
    QCOMPARE(rig->workspace.readFile("files/ap.csv"), before.value("ap.csv"));
}

void InstallTest::backupFolderCantBeMoved()
{
    plantReceiver(false);
    rig->workspace.writeFile("files/ap.csv", "the older backup");
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    qsrand(4242);
    QStringList taken;
    for (int i = 0; i < 5; ++i)
        taken << randomBackupName();
    qsrand(4242);
    QT_WARNING_POP
    for (const QString &name : taken)
        rig->workspace.writeFile(name + "/keep", "older still");

    install();
    QVERIFY(finished());
    QCOMPARE(log().last(), QString("...can't prepare the backup folder"));
    QVERIFY(!log().contains("-> Install firmware..."));
    QVERIFY(!QFile::exists("firmware/install.log"));
    QCOMPARE(rig->workspace.readFile("files/ap.csv"), QByteArray("the older backup"));
    QCOMPARE(QDir("files").entryList(QDir::Files), QStringList{ "ap.csv" });
    QCOMPARE(rig->receiver.files(), before);
}

void InstallTest::silentReceiverAsks()
{
    plantReceiver(false);
    rig->receiver.faults().silentCommands = { 'M', 'L' };
    install();
    QVERIFY(finished());
    QCOMPARE(rig->boxes.texts, QStringList{ "The files on the receiver can't be read, so they can't be saved. Install the "
                                            "firmware anyway? Its stations, presets and settings will be lost." });
    QCOMPARE(log(), QStringList({ "-> Start installation...", "...connected to device", "...waiting for the receiver to start",
                                  "...can't read the file list of the device" }));
    QVERIFY(!QFile::exists("firmware/install.log"));
    QCOMPARE(rig->receiver.files(), before);
}

void InstallTest::receiverSilentAfterFlash()
{
    plantReceiver(false);
    QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [&] {
        if (QFile::exists("firmware/install.log"))
            rig->receiver.faults().silentCommands = { 'M' };
    });
    install();
    QVERIFY(rig->installationEnded(90000));
    const QStringList lines = log();
    QVERIFY(!lines.contains("-> Restore data to device:"));
    QCOMPARE(lines.mid(lines.indexOf("...done")),
             QStringList({ "...done", "...connected to device", "...waiting for the receiver to start",
                           "...the receiver did not answer after the firmware was written",
                           "...the saved data was not put back; it is in the folder files" }));
    QCOMPARE(QDir("files").entryList(QDir::Files), QStringList(dataFiles));
    QVERIFY(mode.isEmpty());
}

void InstallTest::slowOrRestartingReceiver_data()
{
    QTest::addColumn<int>("startAfterFlashMs");
    QTest::addColumn<int>("goneMs");          // the port leaves the PC at the restart
    QTest::addColumn<int>("lateMemoryMs");    // before the flash
    QTest::addColumn<bool>("waitSaid");
    QTest::newRow("boot text, start of 0.5 s") << 500 << 0 << 0 << false;
    QTest::newRow("boot text, start of 8 s") << 8000 << 0 << 0 << true;
    QTest::newRow("port away for 3 s") << 500 << 3000 << 0 << false;
    QTest::newRow("memory answered after 3.5 s") << 0 << 0 << 3500 << true;
}

// A receiver that restarts after the flash, printing its boot text, or that
// answers late: the installer waits for it, saves and restores everything.
void InstallTest::slowOrRestartingReceiver()
{
    QFETCH(int, startAfterFlashMs);
    QFETCH(int, goneMs);
    QFETCH(int, lateMemoryMs);
    plantReceiver(false);
    ReceiverFaults &faults = rig->receiver.faults();
    faults.bootText = ReceiverSimulator::esp32BootText();
    faults.startAfterFlashMs = startAfterFlashMs;
    faults.goneAfterResetMs = goneMs;
    faults.lateReplies.insert('M', lateMemoryMs);
    QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [&] {
        if (QFile::exists("firmware/install.log"))
            rig->receiver.faults().lateReplies.clear();
    });
    if (goneMs > 0) {
        rig->receiver.setPortLink(rig->workspace.path() + "/ttyVELTRA");
        rig->portBox()->setItemText(rig->portBox()->currentIndex(), rig->receiver.portName());
    }
    install();
    QVERIFY(rig->installationEnded(60000));
    // A board that leaves the PC as it restarts leaves at the closing restart too.
    const QStringList lines = rig->installerLog();
    QVERIFY(lines.contains("-> Installation complete."));
    QVERIFY(!lines.contains("...the saved data was not put back; it is in the folder files"));
    QTEST(lines.contains("...waiting for the receiver to start"), "waitSaid");
    QVERIFY(rig->boxes.texts.isEmpty());
    QCOMPARE(QDir("files").entryList(QDir::Files), QStringList(dataFiles));
    for (const QString &name : dataFiles) {
        QCOMPARE(rig->workspace.readFile("files/" + name), before.value(name));
        QCOMPARE(rig->receiver.files().value(name), before.value(name));
    }
}

void InstallTest::unreadableFileListCancels()
{
    plantReceiver(false);
    rig->receiver.faults().silentCommands = { 'L' };
    install();
    QVERIFY(finished());
    QCOMPARE(log(), QStringList({ "-> Start installation...", "...connected to device", "...waiting for the receiver to start",
                                  "...can't read the file list of the device" }));
    QVERIFY(!QFile::exists("firmware/install.log"));
    QCOMPARE(rig->receiver.files(), before);
    QVERIFY(!rig->window->findChild<QPushButton *>("pushButton_9")->isVisibleTo(rig->window.get()));
}

void InstallTest::pendingListOfEmptyReceiverSkipsBackup()
{
    // Nothing in use: no data to lose, so the missing list only skips the backup.
    rig->receiver.faults().silentCommands = { 'L' };
    QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [&] {
        if (QFile::exists("firmware/install.log"))
            rig->receiver.faults().silentCommands.clear();
    });
    install();
    QTRY_VERIFY_WITH_TIMEOUT(log().contains("-> Install firmware..."), 10000);
    QCOMPARE(log().mid(0, 4), QStringList({ "-> Start installation...", "...connected to device",
                                            "...filesystem not found on device", "...disconnected" }));
    QVERIFY(finished());
}

void InstallTest::checkAfterCompletedListingDoesNothing()
{
    plantReceiver(false);
    QVERIFY(rig->connectAndList());
    installStat = 1;
    rig->invoke("countDown");
    QCOMPARE(installStat, 1);
    QVERIFY(mode.isEmpty());
    QCOMPARE(log().last(), QString("...connected to device"));
    installStat = 0;
}

void InstallTest::flashingFailure_data()
{
    QTest::addColumn<QStringList>("logLines");
    QTest::addColumn<bool>("writeLog");
    QTest::newRow("rts in lower case") << QStringList{ "Connecting....", "hard resetting via rts pin..." } << true;
    QTest::newRow("no log") << QStringList() << false;
    QTest::newRow("empty log") << QStringList() << true;
    QTest::newRow("stale log that can't be deleted") << QStringList{ "Hard resetting via RTS pin..." } << true;
}

void InstallTest::flashingFailure()
{
    QFETCH(QStringList, logLines);
    QFETCH(bool, writeLog);
    plantReceiver(false);
    rig->workspace.writeFlashScript(logLines, writeLog);
    // A log from an earlier run must not count, even one that won't go.
    const bool stale = QByteArray(QTest::currentDataTag()) == "stale log that can't be deleted";
    rig->workspace.writeFile(stale ? "firmware/install.log/RTS" : "firmware/install.log", "Hard resetting via RTS pin...\n");
    install();
    QVERIFY(finished());
    QCOMPARE(log().mid(log().size() - 3), QStringList({ "", "-> Install firmware...", "...failed" }));
    QCOMPARE(rig->workspace.readFile("flash-args"), stale ? QByteArray() : rig->receiver.portName().toUtf8() + " ili9341\n");
    QVERIFY(!connected);
    QVERIFY(!serial.isOpen());
    QVERIFY(!rig->window->findChild<QPushButton *>("pushButton_9")->isVisibleTo(rig->window.get()));
    QVERIFY(rig->window->findChild<QPushButton *>("pushButton_Install")->isEnabled());
    QCOMPARE(QDir("files").entryList(QDir::Files), QStringList(dataFiles));
}

void InstallTest::missingDataFileSkipped()
{
    plantReceiver(false);
    rig->receiver.clearFiles();
    for (const char *name : { "ap.csv", "preset.csv", "scan.csv" })
        rig->receiver.putFile(name, sampleData(name, 10));
    install();
    QVERIFY(finished());
    const QStringList lines = log();
    const int restore = lines.indexOf("-> Restore data to device:");
    QCOMPARE(lines.mid(restore + 1, 6), QStringList({ "ap.csv", "city.csv", "...skipped", "preset.csv", "scan.csv", "eng.lng" }));
    QVERIFY(rig->statusHistory.contains("file no exist: files/city.csv"));
    QCOMPARE(lines.last(), QString("-> Installation complete."));

    // Without the language file the restore is not complete.
    QFile::remove("firmware/languages/eng.lng");
    install();
    QVERIFY(finished());
    QCOMPARE(log().mid(log().lastIndexOf("eng.lng"), 2), QStringList({ "eng.lng", "...skipped" }));
    QVERIFY(!log().contains("-> Installation complete."));
    QCOMPARE(log().last(), QString("...the saved data was not put back; it is in the folder files"));
}

void InstallTest::stoppedUploadsMoveOn()
{
    plantReceiver(false);
    QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [&](char command) {
        if (command == 'Q')
            return;
        if (installStat == 5)
            rig->receiver.faults().stopUploadAfterChunk = 1;
    });
    install();
    QVERIFY(finished());
    // Each file is stopped twice: in the restore and when it is sent again.
    QCOMPARE(rig->statusHistory.count("uploading stoped"), 10);
    QStringList restore, verify;
    for (const QString &name : dataFiles + QStringList{ "eng.lng" }) {
        restore << name << "..." + name + " was not put back whole";
        verify << name + " ...differs" << name + " ...differs" << "..." + name + " was not put back whole";
    }
    verify << "...the saved data was not put back; it is in the folder files";
    const QStringList lines = log();
    QCOMPARE(lines.mid(lines.indexOf("-> Restore data to device:") + 1), restore + QStringList({ "", "-> Verify restored data:" }) + verify);
}

void InstallTest::restoreVerified_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("times");
    QTest::addColumn<bool>("repaired");
    QTest::newRow("a byte short, once") << "short" << 1 << true;
    QTest::newRow("a byte changed, once") << "altered" << 1 << true;
    QTest::newRow("a byte short, every time") << "short" << -1 << false;
}

void InstallTest::restoreVerified()
{
    QFETCH(QString, fault);
    QFETCH(int, times);
    QFETCH(bool, repaired);
    plantReceiver(false);
    QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [&](char command) {
        if (command == 'Q' && installStat != 5)
            return;
        if (installStat == 5 && rig->receiver.faults().storeShort.isEmpty() && rig->receiver.faults().storeAltered.isEmpty())
            (fault == "short" ? rig->receiver.faults().storeShort : rig->receiver.faults().storeAltered).insert("city.csv", times);
    });
    install();
    QVERIFY(finished());
    const QStringList lines = log();
    QCOMPARE(lines.count("...city.csv was not put back whole"), (fault == "short" ? 1 : 0) + (repaired ? 0 : 1));
    const int verify = lines.indexOf("-> Verify restored data:");
    const QStringList city = repaired ? QStringList{ "city.csv ...differs", "city.csv ...ok" }
                                      : QStringList{ "city.csv ...differs", "city.csv ...differs", "...city.csv was not put back whole" };
    QCOMPARE(lines.mid(verify + 1, city.size() + 2), QStringList{ "ap.csv ...ok" } + city + QStringList{ "preset.csv ...ok" });
    QCOMPARE(lines.last(), repaired ? QString("-> Installation complete.") : QString("...the saved data was not put back; it is in the folder files"));
    QCOMPARE(lines.contains("-> Installation complete."), repaired);
    QCOMPARE(rig->receiver.files().value("city.csv") == before.value("city.csv"), repaired);
    QCOMPARE(rig->workspace.readFile("files/city.csv"), before.value("city.csv"));
    QTRY_VERIFY(requestLetters(rig->receiver).endsWith("Q"));
}

void InstallTest::cancelDuringVerification()
{
    plantReceiver(false);
    QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [&](char command, const QString &path) {
        if (command == 'D' && path == "/city.csv" && installStat == 5)
            rig->cancel();
    });
    install();
    QVERIFY(finished());
    QTRY_VERIFY(mode.isEmpty());
    const QStringList lines = log();
    QCOMPARE(lines.mid(lines.indexOf("-> Verify restored data:") + 1), QStringList({ "ap.csv ...ok", "...the saved data was not put back; it is in the folder files" }));
    // The read-back that was under way ends, and nothing more is sent.
    QVERIFY(requestLetters(rig->receiver).endsWith("uMLDD"));
    QCOMPARE(rig->workspace.readFile("files/city.csv"), before.value("city.csv"));
}

void InstallTest::waitsForCancel_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("afterFlash");
    QTest::newRow("download refused") << "d" << "...city.csv can't be read from the device; Cancel ends the installation" << false;
    QTest::newRow("port can't be opened") << "port" << "...ESP32: can't use the port /nonexistent; Cancel ends the installation" << false;
    QTest::newRow("no free space after the flash") << "full" << "...ESP32: not enough free space for ap.csv; Cancel ends the installation" << true;
    QTest::newRow("backup file unreadable after the flash") << "unreadable"
        << "...PC: can't open uploading file for city.csv; Cancel ends the installation" << true;
}

// Where the installation can't go on by itself it says why, and Cancel ends
// it: controls unlocked, the link idle, nothing of the receiver's data lost.
void InstallTest::waitsForCancel()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    QFETCH(bool, afterFlash);
    plantReceiver(false);
    if (fault == "d")
        rig->receiver.faults().refusedDownloads = { "city.csv" };
    if (fault == "port")
        rig->portBox()->setItemText(rig->portBox()->currentIndex(), "/nonexistent");
    QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [&] {
        if (!QFile::exists("firmware/install.log"))
            return;
        if (fault == "full")
            rig->receiver.faults().usedOverride = rig->receiver.capacity() - 100;
        if (fault == "unreadable" && QFile::exists("files/city.csv")) {
            QFile::remove("files/city.csv");
            QDir().mkdir("files/city.csv");
        }
    });
    install();
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(reason), 20000);
    QCOMPARE(log().last(), reason);
    QVERIFY(mode.isEmpty());
    QVERIFY(rig->window->findChild<QPushButton *>("pushButton_9")->isVisibleTo(rig->window.get()));
    QVERIFY(installStat != 0);
    if (afterFlash) {
        // The data is only in "files" now: closing the window asks first.
        rig->boxes.answer = QMessageBox::Cancel;
        rig->boxes.texts.clear();
        QVERIFY(!rig->window->close());
        QCOMPARE(rig->boxes.texts, QStringList{ "The receiver's data is not back on it yet. Quit anyway? It stays in the folder files." });
        QCOMPARE(rig->boxes.icons.last(), QMessageBox::Warning);
    }
    rig->cancel();
    QCOMPARE(installStat, 0);
    QVERIFY(mode.isEmpty());
    QCOMPARE(log().last(), afterFlash ? QString("...the saved data was not put back; it is in the folder files") : reason);
    QVERIFY(rig->window->findChild<QPushButton *>("pushButton_Install")->isEnabled());
    if (afterFlash) {
        for (const QString &name : dataFiles) {
            if (fault != "unreadable" || name != "city.csv")
                QCOMPARE(rig->workspace.readFile("files/" + name), before.value(name));
        }
    } else {
        QVERIFY(!QFile::exists("firmware/install.log"));
        QCOMPARE(rig->receiver.files(), before);
    }
}

void InstallTest::unwritableBackupFileNeverFlashes()
{
    plantReceiver(false);
    QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [](char command, const QString &path) {
        if (command == 'D' && path == "/city.csv")
            QDir().mkpath("files/city.csv");
    });
    install();
    QTRY_COMPARE_WITH_TIMEOUT(log().last(), QString("...PC: can't write downloading file; Cancel ends the installation"), 10000);
    QCOMPARE(rig->status(), QString("PC: can't write downloading file"));
    QCOMPARE(log().mid(log().size() - 2), QStringList({ "city.csv", "...PC: can't write downloading file; Cancel ends the installation" }));
    QCOMPARE(installStat, 2);
    QCOMPARE(currentRowDownloadAll, -1);
    QTest::qWait(200);
    QVERIFY(!log().contains("preset.csv"));
    QVERIFY(!QFile::exists("firmware/install.log"));
    QCOMPARE(rig->receiver.files(), before);
    rig->cancel();
    QCOMPARE(installStat, 0);
}

void InstallTest::cancelDuringBackup()
{
    plantReceiver(false);
    QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [&](char command, const QString &path) {
        if (command == 'D' && path == "/city.csv")
            rig->cancel();
    });
    install();
    QVERIFY(finished());
    // The download under way is given up: its reply comes, and is not saved.
    QVERIFY(mode.isEmpty());
    QTRY_COMPARE(recived.size(), 4 + before.value("city.csv").size());
    QCOMPARE(QDir("files").entryList(QDir::Files), QStringList({ "ap.csv" }));
    QCOMPARE(requestLetters(rig->receiver), QString("MLDD"));
    QVERIFY(connected);
    QVERIFY(!QFile::exists("firmware/install.log"));
}

void InstallTest::cancelledCheckNeverRestarts()
{
    plantReceiver(false);
    rig->receiver.faults().silentCommands = { 'M' };
    install();
    QTRY_COMPARE(requestLetters(rig->receiver), QString("M"));
    rig->cancel();
    // Past the three seconds the check waited for: it must not act any more.
    QTest::qWait(3500);
    QCOMPARE(installStat, 0);
    QCOMPARE(log(), QStringList({ "-> Start installation...", "...connected to device" }));
    QVERIFY(mode.isEmpty());
    QCOMPARE(requestLetters(rig->receiver), QString("M"));
}

void InstallTest::checkOfEarlierLinkIgnored()
{
    plantReceiver(false);
    rig->receiver.faults().silentCommands = { 'M' };
    install();
    QTRY_COMPARE(requestLetters(rig->receiver), QString("M"));
    rig->cancel();
    QTest::qWait(1500);
    install();
    QTRY_COMPARE(requestLetters(rig->receiver), QString("MM"));
    // Past the first link's three seconds, within the second's: only the
    // second link's check may judge its listing, which now completes.
    QTest::qWait(2000);
    rig->receiver.faults().silentCommands.clear();
    rig->receiver.sendRaw(bigEndianField(rig->receiver.capacity()) + bigEndianField(4096));
    QVERIFY(finished());
    QVERIFY(!log().contains("...filesystem not found on device"));
    QVERIFY(log().contains("-> Save data from device:"));
    QCOMPARE(log().last(), QString("-> Installation complete."));
}

void InstallTest::slowFlashKeepsRestore()
{
    plantReceiver(false);
    // Outlasts the check armed for the first link, which then must not act on the second.
    rig->workspace.writeFlashScript({ "Hard resetting via RTS pin..." });
    rig->workspace.writeFile("flash.sh", rig->workspace.readFile("flash.sh") + "sleep 3.5\n");
    install();
    QVERIFY(finished());
    QVERIFY(log().contains("-> Restore data to device:"));
    QVERIFY(!log().contains("...filesystem not found on device"));
    QCOMPARE(log().last(), QString("-> Installation complete."));
}

void InstallTest::flashingKeepsWindowServed()
{
    plantReceiver(false);
    rig->window->show();
    // Lines with and without carriage returns over about a second, then a
    // wait for a key that never comes: the script's input must end at once.
    rig->workspace.writeFile("flash.sh",
        "echo 'Connecting....'\n"
        "for p in 0 25 50 75 100; do printf 'Writing at 0x%08x... (%d %%)\\r' $((65536 + p * 4096)) $p; sleep 0.2; done\n"
        "printf '\\nHash of data verified.\\n' >&2\n"
        "echo 'Hard resetting via RTS pin...' > firmware/install.log\n"
        "read key\n");
    int ticks = 0;
    bool cancelEnabled = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (!flashScript)
            return;
        ++ticks;
        cancelEnabled = cancelEnabled || rig->window->findChild<QPushButton *>("pushButton_9")->isEnabled();
    });
    timer.start(20);
    install();
    QTRY_VERIFY_WITH_TIMEOUT(flashScript && log().contains("Connecting...."), 10000);
    // Closing the window while the firmware is written asks first.
    rig->boxes.answer = QMessageBox::Cancel;
    QVERIFY(!rig->window->close());
    QVERIFY(flashScript);
    QVERIFY(finished());
    QVERIFY(ticks > 5);
    QVERIFY(!cancelEnabled);
    QCOMPARE(rig->boxes.texts, QStringList{ "The firmware is being written. Quit anyway? The receiver may not start "
                                            "until the installation is repeated." });
    const QStringList lines = log();
    const int flashing = lines.indexOf("-> Install firmware...");
    QCOMPARE(lines.mid(flashing, 6), QStringList({ "-> Install firmware...", "Connecting....", "Writing at 0x00074000... (100 %)",
                                                   "Hash of data verified.", "...done", "...connected to device" }));
    QCOMPARE(lines.count("...done"), 1);
    QCOMPARE(lines.count("-> Restore data to device:"), 1);
    QCOMPARE(lines.last(), QString("-> Installation complete."));
}

void InstallTest::quittingDuringFlashStopsTheScript()
{
    if (!QFile::exists("/proc/self/stat"))
        QSKIP("needs /proc to see the flasher's process");
    plantReceiver(false);
    rig->window->show();
    rig->workspace.writeFile("flash.sh", "sleep 60 &\necho $! > flasher-pid\nwait\n");
    install();
    QTRY_VERIFY_WITH_TIMEOUT(flashScript && QFile::exists("flasher-pid"), 10000);
    const QByteArray flasher = rig->workspace.readFile("flasher-pid").trimmed();
    QVERIFY(!flasher.isEmpty());
    rig->boxes.answer = QMessageBox::Yes;
    QVERIFY(rig->window->close());
    QVERIFY(!flashScript);
    // Gone, or a zombie that nobody waits for any more.
    QTRY_VERIFY(!QFile::exists("/proc/" + flasher) || rig->workspace.readFile("/proc/" + flasher + "/stat").contains(") Z "));
}

void InstallTest::germanLanguageFile()
{
    plantReceiver(false);
    rig->languageBox()->setCurrentText("Deutsch");
    install();
    QVERIFY(finished());
    QCOMPARE(rig->receiver.files().value("deu.lng"), rig->workspace.readFile("firmware/languages/deu.lng"));
    QVERIFY(log().contains("deu.lng ...ok"));
}

void InstallTest::emptyFileSystem()
{
    install();
    QVERIFY(finished());
    const QStringList lines = log();
    QCOMPARE(lines.mid(0, 6), QStringList({ "-> Start installation...", "...connected to device", "",
                                            "-> Save data from device:", "...disconnected", "" }));
    QVERIFY(QDir("files").exists());
    QCOMPARE(lines.count("...skipped"), 4);
    QCOMPARE(rig->receiver.files().keys(), QStringList{ "eng.lng" });
    QCOMPARE(lines.last(), QString("-> Installation complete."));
}

QTEST_MAIN(InstallTest)
#include "tst_install.moc"
