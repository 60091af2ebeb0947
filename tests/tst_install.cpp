// The whole firmware installation over the simulated receiver: backup,
// flashing script, restore and restart, and the ways it can go wrong.

#include "backupfolder.h"
#include "session.h"
#include "testkit.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableWidget>
#include <QtTest>

namespace {
const QStringList dataFiles = { "ap.csv", "city.csv", "preset.csv", "scan.csv" };

QByteArray sampleData(const QString &name, int lines)
{
    QByteArray content;
    for (int i = 0; i < lines; ++i)
        content += name.toUtf8() + "," + QByteArray::number(87.5 + i * 0.1, 'f', 1) + ",Station " + QByteArray::number(i) + "\n";
    return content;
}

QStringList eightDigitFolders()
{
    return QDir().entryList(QDir::Dirs | QDir::NoDotAndDotDot).filter(QRegularExpression("^[0-9]{8}$"));
}

}

class InstallTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void completeInstallation();
    void olderBackupMovedAside();
    void backupFolderCantBeMoved();
    void silentReceiverSkipsBackupAndRestore();
    void receiverSilentAfterFlash();
    void unreadableFileListCancels();
    void pendingListOfEmptyReceiverSkipsBackup();
    void checkAfterCompletedListingDoesNothing();
    void flashingFailure_data();
    void flashingFailure();
    void missingDataFileSkipped();
    void stoppedUploadsMoveOn();
    void refusedDownloadWaitsForCancel();
    void unwritableBackupFileNeverFlashes();
    void cancelDuringBackup();
    void cancelledCheckNeverRestarts();
    void slowFlashKeepsRestore();
    void germanLanguageFile();
    void emptyFileSystem();

private:
    std::unique_ptr<Bench> bench;
    QMap<QString, QByteArray> before;
    void plantReceiver(bool withExtras = true);
    void install();
    bool finished();
    QStringList log() const { return bench->logLines(); }
};

void InstallTest::init()
{
    bench.reset();
    bench = std::make_unique<Bench>();
    bench->useFolderStore();
    qunsetenv("VELTRA_FLASH_FAIL");
}

void InstallTest::plantReceiver(bool withExtras)
{
    for (int i = 0; i < dataFiles.size(); ++i)
        bench->receiver.putFile(dataFiles.at(i), sampleData(dataFiles.at(i), 40 + 30 * i));
    if (withExtras) {
        bench->receiver.putFile("eng.lng", "old language file");
        bench->receiver.putFile("notes.txt", QByteArray(3000, 'n'));
        bench->receiver.putFile("empty.txt", QByteArray());
    }
    before = bench->receiver.files();
}

void InstallTest::install()
{
    bench->install();
}

bool InstallTest::finished()
{
    return bench->installationEnded();
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
        "-> Installation complete.",
    };
    QCOMPARE(log(), expected);

    // The backup holds every non-empty file the receiver had, byte for byte.
    QStringList saved = QDir("files").entryList(QDir::Files);
    QCOMPARE(saved, QStringList({ "ap.csv", "city.csv", "eng.lng", "notes.txt", "preset.csv", "scan.csv" }));
    for (const QString &name : saved)
        QCOMPARE(bench->workspace.readFile("files/" + name), before.value(name));

    // The flashed receiver got its data back and the chosen language file.
    const QMap<QString, QByteArray> after = bench->receiver.files();
    QCOMPARE(after.keys(), QStringList({ "ap.csv", "city.csv", "eng.lng", "preset.csv", "scan.csv" }));
    for (const QString &name : dataFiles)
        QCOMPARE(after.value(name), before.value(name));
    QCOMPARE(after.value("eng.lng"), bench->workspace.readFile("firmware/languages/eng.lng"));

    QVERIFY(bench->workspace.readFile("firmware/install.log").contains("display ili9341 on " + bench->receiver.portName().toUtf8()));
    QCOMPARE(mode, QString("REBOOT"));
    QVERIFY(connected);
    QTRY_VERIFY(requestLetters(bench->receiver).endsWith("Q"));
    QVERIFY(!bench->window->findChild<QPushButton *>("pushButton_9")->isVisibleTo(bench->window.get()));
    for (const char *name : { "pushButton_6", "pushButton_Install", "pushButton_Driver", "comboBox", "comboBox_2",
                              "comboBox_language" })
        QVERIFY2(bench->window->findChild<QWidget *>(name)->isEnabled(), name);
    QCOMPARE(bench->status(), QString("ESP32 restarted"));
    QVERIFY(eightDigitFolders().isEmpty());
}

void InstallTest::olderBackupMovedAside()
{
    plantReceiver(false);
    bench->workspace.writeFile("files/ap.csv", "the older backup");
    bench->workspace.writeFile("files/old-only.txt", "kept");
    install();
    QVERIFY(finished());
    const QStringList aside = eightDigitFolders();
    QCOMPARE(aside.size(), 1);
    QCOMPARE(bench->workspace.readFile(aside.first() + "/ap.csv"), QByteArray("the older backup"));
    QCOMPARE(bench->workspace.readFile(aside.first() + "/old-only.txt"), QByteArray("kept"));
    QCOMPARE(QDir("files").entryList(QDir::Files), QStringList(dataFiles));
    QCOMPARE(bench->workspace.readFile("files/ap.csv"), before.value("ap.csv"));
}

void InstallTest::backupFolderCantBeMoved()
{
    plantReceiver(false);
    bench->workspace.writeFile("files/ap.csv", "the older backup");
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    qsrand(4242);
    QStringList taken;
    for (int i = 0; i < 5; ++i)
        taken << randomBackupName();
    qsrand(4242);
    QT_WARNING_POP
    for (const QString &name : taken)
        bench->workspace.writeFile(name + "/keep", "older still");

    install();
    QVERIFY(finished());
    QCOMPARE(log().last(), QString("...can't prepare the backup folder"));
    QVERIFY(!log().contains("-> Install firmware..."));
    QVERIFY(!QFile::exists("firmware/install.log"));
    QCOMPARE(bench->workspace.readFile("files/ap.csv"), QByteArray("the older backup"));
    QCOMPARE(QDir("files").entryList(QDir::Files), QStringList{ "ap.csv" });
    QCOMPARE(bench->receiver.files(), before);
}

void InstallTest::silentReceiverSkipsBackupAndRestore()
{
    plantReceiver(false);
    bench->receiver.faults().silentCommands = { 'M', 'L' };
    install();
    QVERIFY(finished());
    QCOMPARE(log(), QStringList({ "-> Start installation...", "...connected to device",
                                  "...filesystem not found on device", "...disconnected", "",
                                  "-> Install firmware...", "...done", "...connected to device",
                                  "...filesystem not found on device", "", "-> Installation complete." }));
    QVERIFY(!QDir("files").exists());
    QCOMPARE(mode, QString("REBOOT"));
}

void InstallTest::receiverSilentAfterFlash()
{
    plantReceiver(false);
    int memoryRequests = 0;
    QObject::connect(&bench->receiver, &ReceiverSimulator::requestReceived, [&](char command) {
        if (command == 'M' && ++memoryRequests == 2)
            bench->receiver.faults().silentCommands = { 'M' };
    });
    install();
    QVERIFY(finished());
    const QStringList lines = log();
    QVERIFY(!lines.contains("-> Restore data to device:"));
    QCOMPARE(lines.mid(lines.indexOf("...done")),
             QStringList({ "...done", "...connected to device", "...filesystem not found on device", "",
                           "-> Installation complete." }));
    QCOMPARE(QDir("files").entryList(QDir::Files), QStringList(dataFiles));
}

void InstallTest::unreadableFileListCancels()
{
    plantReceiver(false);
    bench->receiver.faults().silentCommands = { 'L' };
    install();
    QVERIFY(finished());
    QCOMPARE(log(), QStringList({ "-> Start installation...", "...connected to device",
                                  "...can't read the file list of the device" }));
    QVERIFY(!QFile::exists("firmware/install.log"));
    QCOMPARE(bench->receiver.files(), before);
    QVERIFY(!bench->window->findChild<QPushButton *>("pushButton_9")->isVisibleTo(bench->window.get()));
}

void InstallTest::pendingListOfEmptyReceiverSkipsBackup()
{
    // Nothing in use: no data to lose, so the missing list only skips the backup.
    bench->receiver.faults().silentCommands = { 'L' };
    install();
    QTRY_VERIFY_WITH_TIMEOUT(log().contains("-> Install firmware..."), 10000);
    QCOMPARE(log().mid(0, 4), QStringList({ "-> Start installation...", "...connected to device",
                                            "...filesystem not found on device", "...disconnected" }));
    QVERIFY(finished());
}

void InstallTest::checkAfterCompletedListingDoesNothing()
{
    plantReceiver(false);
    QVERIFY(bench->connectAndList());
    installStat = 1;
    bench->invoke("countDown");
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
}

void InstallTest::flashingFailure()
{
    QFETCH(QStringList, logLines);
    QFETCH(bool, writeLog);
    plantReceiver(false);
    bench->workspace.writeFlashScript(logLines, writeLog);
    // A log from an earlier run must not count.
    bench->workspace.writeFile("firmware/install.log", "Hard resetting via RTS pin...\n");
    install();
    QVERIFY(finished());
    QCOMPARE(log().mid(log().size() - 3), QStringList({ "", "-> Install firmware...", "...failed" }));
    QCOMPARE(bench->workspace.readFile("flash-args"), bench->receiver.portName().toUtf8() + " ili9341\n");
    QVERIFY(!connected);
    QVERIFY(!serial.isOpen());
    QVERIFY(!bench->window->findChild<QPushButton *>("pushButton_9")->isVisibleTo(bench->window.get()));
    QVERIFY(bench->window->findChild<QPushButton *>("pushButton_Install")->isEnabled());
    QCOMPARE(QDir("files").entryList(QDir::Files), QStringList(dataFiles));
}

void InstallTest::missingDataFileSkipped()
{
    plantReceiver(false);
    bench->receiver.clearFiles();
    for (const char *name : { "ap.csv", "preset.csv", "scan.csv" })
        bench->receiver.putFile(name, sampleData(name, 10));
    install();
    QVERIFY(finished());
    const QStringList lines = log();
    const int restore = lines.indexOf("-> Restore data to device:");
    QCOMPARE(lines.mid(restore + 1, 6), QStringList({ "ap.csv", "city.csv", "...skipped", "preset.csv", "scan.csv", "eng.lng" }));
    QVERIFY(bench->statusHistory.contains("file no exist: files/city.csv"));
    QCOMPARE(lines.last(), QString("-> Installation complete."));
}

void InstallTest::stoppedUploadsMoveOn()
{
    plantReceiver(false);
    QObject::connect(&bench->receiver, &ReceiverSimulator::requestReceived, [&](char command) {
        if (command == 'Q')
            return;
        if (installStat == 5)
            bench->receiver.faults().stopUploadAfterChunk = 1;
    });
    install();
    QVERIFY(finished());
    QCOMPARE(bench->statusHistory.count("uploading stoped"), 5);
    const QStringList lines = log();
    QCOMPARE(lines.mid(lines.indexOf("-> Restore data to device:") + 1),
             QStringList({ "ap.csv", "city.csv", "preset.csv", "scan.csv", "eng.lng", "", "-> Installation complete." }));
}

void InstallTest::refusedDownloadWaitsForCancel()
{
    plantReceiver(false);
    bench->receiver.faults().refusedDownloads = { "city.csv" };
    install();
    QTRY_COMPARE_WITH_TIMEOUT(bench->status(), QString("ESP32: can't open the file"), 10000);
    QCOMPARE(installStat, 2);
    QCOMPARE(currentRowDownloadAll, -1);
    QVERIFY(mode.isEmpty());
    QCOMPARE(log().last(), QString("city.csv"));
    QVERIFY(bench->window->findChild<QPushButton *>("pushButton_9")->isVisibleTo(bench->window.get()));
    bench->window->findChild<QPushButton *>("pushButton_9")->click();
    QCOMPARE(installStat, 0);
    QVERIFY(!QFile::exists("firmware/install.log"));
    QVERIFY(connected);
    QCOMPARE(bench->receiver.files(), before);
}

void InstallTest::unwritableBackupFileNeverFlashes()
{
    plantReceiver(false);
    QObject::connect(&bench->receiver, &ReceiverSimulator::requestReceived, [](char command, const QString &path) {
        if (command == 'D' && path == "/city.csv")
            QDir().mkpath("files/city.csv");
    });
    install();
    QTRY_COMPARE_WITH_TIMEOUT(bench->status(), QString("PC: can't write downloading file"), 10000);
    QCOMPARE(log().mid(log().size() - 2), QStringList({ "city.csv", "PC: can't write downloading file" }));
    QCOMPARE(installStat, 2);
    QCOMPARE(currentRowDownloadAll, -1);
    QTest::qWait(200);
    QVERIFY(!log().contains("preset.csv"));
    QVERIFY(!QFile::exists("firmware/install.log"));
    QCOMPARE(bench->receiver.files(), before);
    bench->window->findChild<QPushButton *>("pushButton_9")->click();
    QCOMPARE(installStat, 0);
}

void InstallTest::cancelDuringBackup()
{
    plantReceiver(false);
    QObject::connect(&bench->receiver, &ReceiverSimulator::requestReceived, [&](char command, const QString &path) {
        if (command == 'D' && path == "/city.csv")
            bench->window->findChild<QPushButton *>("pushButton_9")->click();
    });
    install();
    QVERIFY(finished());
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(QDir("files").entryList(QDir::Files), QStringList({ "ap.csv", "city.csv" }));
    QCOMPARE(bench->workspace.readFile("files/city.csv"), before.value("city.csv"));
    QCOMPARE(requestLetters(bench->receiver), QString("MLDD"));
    QVERIFY(connected);
    QVERIFY(!QFile::exists("firmware/install.log"));
}

void InstallTest::cancelledCheckNeverRestarts()
{
    plantReceiver(false);
    bench->receiver.faults().silentCommands = { 'M' };
    install();
    QTRY_COMPARE(requestLetters(bench->receiver), QString("M"));
    bench->window->findChild<QPushButton *>("pushButton_9")->click();
    // Past the three seconds the check waited for: it must not act any more.
    QTest::qWait(3500);
    QCOMPARE(installStat, 0);
    QCOMPARE(log(), QStringList({ "-> Start installation...", "...connected to device" }));
    QCOMPARE(mode, QString("MEMORY"));
}

void InstallTest::slowFlashKeepsRestore()
{
    plantReceiver(false);
    // Outlasts the check armed for the first link, which then must not act on the second.
    bench->workspace.writeFlashScript({ "Hard resetting via RTS pin..." });
    bench->workspace.writeFile("flash.sh", bench->workspace.readFile("flash.sh") + "sleep 3.5\n");
    install();
    QVERIFY(finished());
    QVERIFY(log().contains("-> Restore data to device:"));
    QVERIFY(!log().contains("...filesystem not found on device"));
    QCOMPARE(log().last(), QString("-> Installation complete."));
}

void InstallTest::germanLanguageFile()
{
    plantReceiver(false);
    bench->languageBox()->setCurrentText("Deutsch");
    install();
    QVERIFY(finished());
    QCOMPARE(bench->receiver.files().value("deu.lng"), bench->workspace.readFile("firmware/languages/deu.lng"));
    QCOMPARE(log().at(log().size() - 3), QString("deu.lng"));
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
    QCOMPARE(bench->receiver.files().keys(), QStringList{ "eng.lng" });
    QCOMPARE(lines.last(), QString("-> Installation complete."));
}

QTEST_MAIN(InstallTest)
#include "tst_install.moc"
