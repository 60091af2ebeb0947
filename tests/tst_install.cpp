// The whole firmware installation over the simulated receiver: backup,
// flashing script, restore and restart, and the ways it can go wrong.

#include "installer/backupfolder.h"
#include "app/session.h"
#include "device/frames.h"
#include "testkit.h"

#include <QComboBox>
#include <QDir>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextBrowser>
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
    void slowOrRestartingReceiver_data();
    void slowOrRestartingReceiver();
    void flashingFailure_data();
    void flashingFailure();
    void refusedUploadWaitsForCancel();
    void unwritableBackupFileNeverFlashes();
    void cancelDuringBackup();
    void flashingKeepsWindowServed();
    void quittingDuringFlashStopsTheScript();
    void emptyFileSystem();
    void otherDataAfterTheFlash();
    void portAfterTheFlash();

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

// The whole road, in German on a receiver that used English: which language
// file goes back is asked, and the saved files no restore puts back are named.
void InstallTest::completeInstallation()
{
    plantReceiver();
    rig->languageBox()->setCurrentText("Deutsch");
    rig->boxes.answer = QMessageBox::Yes;
    install();
    QVERIFY(finished());

    const QStringList expected = {
        "-> Start installation...", rig->keptLogLine(), "...connected to device", "", "-> Save data from device:",
        "ap.csv", "city.csv", "empty.txt", "...skipped", "eng.lng", "notes.txt", "preset.csv", "scan.csv",
        "...disconnected", "", "-> Install firmware...", "...done", "...connected to device", "",
        "-> Restore data to device:", "ap.csv", "city.csv", "preset.csv", "scan.csv", "deu.lng", "",
        "-> Verify restored data:", "ap.csv ...ok", "city.csv ...ok", "preset.csv ...ok", "scan.csv ...ok",
        "deu.lng ...ok", "...eng.lng, notes.txt stay saved in the folder files; they are not put back", "",
        "-> Installation complete.",
    };
    QCOMPARE(rig->installerLog(), expected);
    // Every line of the pane kept in the log's file, in order.
    QCOMPARE(rig->workspace.readFile(rig->keptLogPath()), (rig->logPane()->toPlainText() + "\n").toUtf8());
    QCOMPARE(rig->boxes.texts, QStringList{ "The receiver uses English. Put back Deutsch, as chosen?" });
    QCOMPARE(rig->boxes.defaults, QList<QMessageBox::StandardButton>{ QMessageBox::No });

    // The backup holds every non-empty file the receiver had, byte for byte.
    QStringList saved = savedFiles();
    QCOMPARE(saved, QStringList({ "ap.csv", "city.csv", "eng.lng", "notes.txt", "preset.csv", "scan.csv" }));
    for (const QString &name : saved)
        QCOMPARE(rig->workspace.readFile("files/" + name), before.value(name));

    // The flashed receiver got its data back and the chosen language file.
    const QMap<QString, QByteArray> after = rig->receiver.files();
    QCOMPARE(after.keys(), QStringList({ "ap.csv", "city.csv", "deu.lng", "preset.csv", "scan.csv" }));
    for (const QString &name : dataFiles)
        QCOMPARE(after.value(name), before.value(name));
    QCOMPARE(after.value("deu.lng"), rig->workspace.readFile("firmware/languages/deu.lng"));

    QVERIFY(rig->workspace.readFile("firmware/install.log").contains("display ili9341 on " + rig->receiver.portName().toUtf8()));
    QTRY_VERIFY(requestLetters(rig->receiver).endsWith("Q"));
    QVERIFY(!rig->window->findChild<QPushButton *>("pushButton_9")->isVisibleTo(rig->window.get()));
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
    QCOMPARE(savedFiles(), QStringList(dataFiles));
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
    QCOMPARE(log().mid(log().size() - 2),
             QStringList({ "...can't prepare the backup folder " + QDir::toNativeSeparators(QDir::current().absoluteFilePath("files")),
                           "...free some space on the PC, or move the program into a folder you can write to, then press Install FW" }));
    QVERIFY(!log().contains("-> Install firmware..."));
    QVERIFY(!QFile::exists("firmware/install.log"));
    QCOMPARE(rig->workspace.readFile("files/ap.csv"), QByteArray("the older backup"));
    QCOMPARE(savedFiles(), QStringList{ "ap.csv" });
    QCOMPARE(rig->receiver.files(), before);
}

void InstallTest::slowOrRestartingReceiver_data()
{
    QTest::addColumn<int>("startAfterFlashMs");
    QTest::addColumn<int>("goneMs");          // the port leaves the PC at the restart
    QTest::addColumn<int>("lateMemoryMs");    // before the flash
    QTest::addColumn<bool>("waitSaid");
    QTest::newRow("boot text, a start past the check") << 800 << 0 << 0 << true;
    QTest::newRow("port away a while") << 50 << 300 << 0 << false;
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
    QCOMPARE(savedFiles(), QStringList(dataFiles));
    for (const QString &name : dataFiles) {
        QCOMPARE(rig->workspace.readFile("files/" + name), before.value(name));
        QCOMPARE(rig->receiver.files().value(name), before.value(name));
    }
}

void InstallTest::flashingFailure_data()
{
    QTest::addColumn<bool>("erases");       // the flasher ran and erased the receiver before it failed
    QTest::newRow("erased, then failed") << true;
    QTest::newRow("stale log that can't be deleted") << false;
}

// A flash that fails says so; once the flasher has run, the saved data is
// named, and closing the window asks until the next installation puts it
// back. A log from an earlier run never counts, even one that won't go.
void InstallTest::flashingFailure()
{
    QFETCH(bool, erases);
    plantReceiver(false);
    rig->workspace.writeFile("flash.sh", "echo \"$1 $2\" > flash-args\n"
                                         "echo 'Erasing flash...' > firmware/install.log\n"
                                         "rm -f \"$VELTRA_RECEIVER_STORE\"/*\n"
                                         "echo 'A fatal error occurred: MD5 of file does not match data in flash!' >> firmware/install.log\n"
                                         "exit 2\n");
    if (!erases)
        rig->workspace.writeFile("firmware/install.log/RTS", "Hard resetting via RTS pin...\n");
    install();
    QVERIFY(finished());
    QStringList ending = { "", "-> Install firmware...", "...failed" };
    if (erases)
        ending << "...the saved data was not put back; it is in the folder files"
               << "...the flasher's words are above, and all of them in firmware/install.log: check that the receiver is plugged in "
                  "and no other program uses " + rig->receiver.portName() + ", then press Install FW to try again; the saved data "
                  "will be offered then";
    else
        ending << "...PC: can't remove the flasher's old log firmware/install.log"
               << "...remove firmware/install.log by hand, or let the program write to the folder firmware, then press Install FW again";
    QCOMPARE(log().mid(log().size() - ending.size()), ending);
    QCOMPARE(rig->workspace.readFile("flash-args"), erases ? rig->receiver.portName().toUtf8() + " ili9341\n" : QByteArray());
    QVERIFY(!serial.isOpen());
    QVERIFY(rig->window->findChild<QPushButton *>("pushButton_Install")->isEnabled());
    QCOMPARE(savedFiles(), QStringList(dataFiles));
    QCOMPARE(rig->receiver.files().isEmpty(), erases);
    rig->boxes.answer = QMessageBox::Cancel;
    QCOMPARE(rig->window->close(), !erases);
    if (!erases)
        return;
    QCOMPARE(rig->boxes.texts, QStringList{ "The receiver's data is not back on it yet. Quit anyway? It stays in the folder files." });

    // The next try offers the saved data to the empty receiver and puts it back.
    rig->workspace.writeFlashScript({ "Hard resetting via RTS pin..." });
    rig->boxes.texts.clear();
    rig->boxes.answer = QMessageBox::Yes;
    install();
    QVERIFY(finished());
    QCOMPARE(rig->boxes.texts.size(), 1);
    QVERIFY(rig->boxes.texts.first().startsWith("The stations and settings saved on "));
    QCOMPARE(log().last(), QString("-> Installation complete."));
    for (const QString &name : dataFiles)
        QCOMPARE(rig->receiver.files().value(name), before.value(name));
    rig->boxes.texts.clear();
    QVERIFY(rig->window->close());
    QVERIFY(rig->boxes.texts.isEmpty());
}

// After the flash, a file the receiver has no room for is refused before
// anything is sent; the box that says so may stay open past every limit
// while the installation waits for Cancel. The data is only in "files"
// then: closing the window asks first.
void InstallTest::refusedUploadWaitsForCancel()
{
    plantReceiver(false);
    QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [&] {
        if (QFile::exists("firmware/install.log"))
            rig->receiver.faults().usedOverride = rig->receiver.capacity() - 100;
    });
    const QString reason = "...ESP32: not enough free space for ap.csv; Cancel ends the installation";
    rig->boxes.holdMs = 3 * testTimings().exchangeBaseMs;
    install();
    QTRY_COMPARE_WITH_TIMEOUT(rig->boxes.texts, QStringList{ "ESP32: not enough free space" }, 20000);
    QCOMPARE(rig->boxes.icons, QList<QMessageBox::Icon>{ QMessageBox::Warning });
    QCOMPARE(log().mid(log().size() - 2), QStringList({ reason, "...the receiver has no room for its data: press Install FW again; "
                                                                "the saved data will be offered then" }));
    QVERIFY(!requestLetters(rig->receiver).contains('U'));
    QVERIFY(rig->link()->isIdle());
    QVERIFY(installStat != 0);

    rig->boxes.holdMs = 0;
    rig->boxes.answer = QMessageBox::Cancel;
    rig->boxes.texts.clear();
    QVERIFY(!rig->window->close());
    QCOMPARE(rig->boxes.texts, QStringList{ "The receiver's data is not back on it yet. Quit anyway? It stays in the folder files." });
    rig->cancel();
    QCOMPARE(installStat, 0);
    QCOMPARE(log().mid(log().size() - 3), QStringList({ "...cancelled", "...the saved data was not put back; it is in the folder files",
                                                        "...press Install FW to put the saved data back" }));
    for (const QString &name : dataFiles)
        QCOMPARE(rig->workspace.readFile("files/" + name), before.value(name));
}

void InstallTest::unwritableBackupFileNeverFlashes()
{
    plantReceiver(false);
    QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [](char command, const QString &path) {
        if (command == 'D' && path == "/city.csv")
            QDir().mkpath("files/city.csv");
    });
    install();
    const QString reason = "...PC: can't write downloading file; Cancel ends the installation";
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(reason), 10000);
    QCOMPARE(rig->status(), QString("PC: can't write downloading file"));
    QCOMPARE(log().mid(log().size() - 3), QStringList({ "city.csv", reason, "...the receiver still holds its data: free some "
                                                                                    "space on the PC, then press Install FW again" }));
    QCOMPARE(installStat, 2);
    QCOMPARE(currentRowDownloadAll, -1);
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
    QCOMPARE(savedFiles(), QStringList({ "ap.csv" }));
    QCOMPARE(requestLetters(rig->receiver), QString("MLDD"));
    QVERIFY(connected);
    QVERIFY(!QFile::exists("firmware/install.log"));
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
    auto *progress = rig->statusBar()->findChild<QProgressBar *>();
    QVERIFY(progress && !progress->isVisibleTo(rig->window.get()));
    int ticks = 0;
    bool cancelEnabled = false;
    QList<int> progressWhileFlashing;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (!rig->flashing())
            return;
        ++ticks;
        cancelEnabled = cancelEnabled || rig->window->findChild<QPushButton *>("pushButton_9")->isEnabled();
        if (progress->isVisible())
            progressWhileFlashing << progress->value();
    });
    timer.start(20);
    int progressAtTheEnd = -1;
    QObject::connect(rig->logPane(), &QTextEdit::textChanged, [&] {
        if (rig->logPane()->document()->lastBlock().text() == "-> Installation complete." && progress->isVisible())
            progressAtTheEnd = progress->value();
    });
    install();
    QTRY_VERIFY_WITH_TIMEOUT(rig->flashing() && log().contains("Connecting...."), 10000);
    // Closing the window while the firmware is written asks first.
    rig->boxes.answer = QMessageBox::Cancel;
    QVERIFY(!rig->window->close());
    QVERIFY(rig->flashing());
    QVERIFY(finished());
    QVERIFY(ticks > 5);
    QVERIFY(!cancelEnabled);
    // Part-way while the firmware is written, following the flasher's own
    // percentages; full with the last line, gone once the controls unlock.
    QVERIFY(!progressWhileFlashing.isEmpty());
    QVERIFY(progressWhileFlashing.first() > 0 && progressWhileFlashing.last() < 100);
    QVERIFY(progressWhileFlashing.last() > progressWhileFlashing.first());
    QCOMPARE(progressAtTheEnd, 100);
    QVERIFY(!progress->isVisible());
    QCOMPARE(rig->boxes.texts, QStringList{ "The firmware is being written. Quit anyway? The receiver may not start "
                                            "until the installation is repeated." });
    const QStringList lines = log();
    const int flashing = lines.indexOf("-> Install firmware...");
    QCOMPARE(lines.mid(flashing, 6), QStringList({ "-> Install firmware...", "Connecting....", "Writing at 0x00074000... (100 %)",
                                                   "Hash of data verified.", "...done", "...connected to device" }));
    QCOMPARE(lines.count("...done"), 1);
    QCOMPARE(lines.count("-> Restore data to device:"), 1);
    // The flasher's progress line kept once, as it last read.
    QCOMPARE(rig->workspace.readFile(rig->keptLogPath()), (rig->logPane()->toPlainText() + "\n").toUtf8());
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
    QTRY_VERIFY_WITH_TIMEOUT(rig->flashing() && QFile::exists("flasher-pid"), 10000);
    const QByteArray flasher = rig->workspace.readFile("flasher-pid").trimmed();
    QVERIFY(!flasher.isEmpty());
    rig->boxes.answer = QMessageBox::Yes;
    QVERIFY(rig->window->close());
    QVERIFY(!rig->flashing());
    // Gone, or a zombie that nobody waits for any more.
    QTRY_VERIFY(!QFile::exists("/proc/" + flasher) || rig->workspace.readFile("/proc/" + flasher + "/stat").contains(") Z "));
}

// A receiver that says plainly it holds nothing has nothing to lose: its
// backup is skipped, and what "files" holds, another receiver's say, is not
// put on it.
void InstallTest::emptyFileSystem()
{
    rig->workspace.writeFile("files/ap.csv", "another receiver's stations");
    install();
    QVERIFY(finished());
    QCOMPARE(rig->installerLog(), QStringList({ "-> Start installation...", rig->keptLogLine(), "...connected to device",
                                                "...filesystem not found on device",
                                                "...disconnected", "", "-> Install firmware...", "...done", "...connected to device", "",
                                                "-> Restore data to device:", "eng.lng", "", "-> Verify restored data:",
                                                "eng.lng ...ok", "", "-> Installation complete." }));
    QCOMPARE(rig->receiver.files().keys(), QStringList{ "eng.lng" });
    QCOMPARE(rig->workspace.readFile("files/ap.csv"), QByteArray("another receiver's stations"));
}

// A receiver found after the flash with data files of its own (another one
// under the old port name): they are saved and not written over unasked.
void InstallTest::otherDataAfterTheFlash()
{
    plantReceiver(false);
    bool put = false;
    QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [&] {
        if (put || !QFile::exists("firmware/install.log"))
            return;
        put = true;
        for (const char *name : { "ap.csv", "city.csv" })
            rig->receiver.putFile(name, "receiver B's " + QByteArray(name));
    });
    rig->boxes.answer = QMessageBox::No;
    install();
    QVERIFY(finished());
    QCOMPARE(log().at(log().size() - 2), QString("...the saved data was not put back; it is in the folder files"));
    QCOMPARE(rig->boxes.texts.first(), "The receiver on " + rig->receiver.portName() + " holds other stations and settings than the "
                                       "ones saved before the firmware was written. Put the saved ones over them?");
    QCOMPARE(rig->boxes.icons.first(), QMessageBox::Warning);
    const QString aside = eightDigitFolders().value(0);
    QVERIFY(log().contains("...the receiver's own ap.csv, city.csv saved in the folder " + aside));
    for (const char *name : { "ap.csv", "city.csv" }) {
        QCOMPARE(rig->receiver.files().value(name), "receiver B's " + QByteArray(name));
        QCOMPARE(rig->workspace.readFile(aside + "/" + name), "receiver B's " + QByteArray(name));
        QCOMPARE(rig->workspace.readFile(QString("files/") + name), before.value(name));
    }
}

// The receiver's port after the flash: a port that appears in its place is taken.
void InstallTest::portAfterTheFlash()
{
    plantReceiver(false);
    const QString before = rig->workspace.path() + "/ttyVELTRA0";
    const QString after = rig->workspace.path() + "/ttyVELTRA1";
    rig->receiver.setPortLink(before);
    rig->receiver.faults().goneAfterResetMs = 400;
    rig->portBox()->setItemText(rig->portBox()->currentIndex(), before);
    // The ports the system lists: once they were listed as the firmware is
    // written, the receiver's port takes another name.
    bool renamed = false;
    rig->window->setPortLister([&] {
        const QVector<SeenPort> ports{ { rig->receiver.portName() } };
        if (!renamed && log().contains("-> Install firmware...")) {
            renamed = true;
            rig->receiver.setPortLink(after);
        }
        return ports;
    });
    install();
    QVERIFY(rig->installationEnded());
    QVERIFY(log().contains("...the receiver is back on " + after));
    QCOMPARE(rig->portBox()->currentText(), after);
    QCOMPARE(log().last(), QString("-> Installation complete."));
}

QTEST_MAIN(InstallTest)
#include "tst_install.moc"
