// Faults injected through the simulated receiver: unplugged, stopping
// half-way, talking garbage or lying about its files. Each case ends with a
// clear word or the documented wait. Nothing is lost: no flash without a
// complete backup, the older backup untouched, no partial file in "files".

#include "app/session.h"
#include "device/frames.h"
#include "testkit.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QStatusBar>
#include <QTableWidget>
#include <QtTest>

namespace {
const QByteArray olderBackup = "station list of last year\n";

QString olderBackupFolder()
{
    const QStringList aside = eightDigitFolders();
    return aside.size() == 1 ? aside.first() : QString();
}
}

class FaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void unplugDuringDownload();
    void unplugDuringUpload();
    void untrustedListAsks_data();
    void untrustedListAsks();
    void hostileNamesStayInside();
    void repeatedReplies();
    void fullDisk();
    void noiseIsNoEmptyReceiver();
    void restartDuringTransfer_data();
    void restartDuringTransfer();
    void laterTriesBringTheDataBack();
    void twoReceivers_data();
    void twoReceivers();
    void slowReceiver();

private:
    std::unique_ptr<Rig> rig;
    QMap<QString, QByteArray> before;
    void install() { rig->install(); }
    bool finished() { return rig->installationEnded(); }
    void unplugOn(char request);
    QStringList log() const { return rig->logLines(); }
    bool flashed() const { return QFile::exists("firmware/install.log"); }
    void verifyNothingLost();
};

void FaultsTest::init()
{
    rig.reset();
    rig = std::make_unique<Rig>();
    rig->useFolderStore();
    for (const QString &name : dataFiles)
        rig->receiver.putFile(name, sampleData(name));
    before = rig->receiver.files();
    rig->workspace.writeFile("files/ap.csv", olderBackup);
}

// The older backup is untouched wherever it is now, and what "files" holds
// now is whole: each file equal to the receiver's.
void FaultsTest::verifyNothingLost()
{
    const QString older = QFile::exists("files/ap.csv") && rig->workspace.readFile("files/ap.csv") == olderBackup
                              ? QString("files") : olderBackupFolder();
    QVERIFY2(!older.isEmpty(), "the older backup is gone");
    QCOMPARE(QDir(older).entryList(QDir::Files), QStringList{ "ap.csv" });
    QCOMPARE(rig->workspace.readFile(older + "/ap.csv"), olderBackup);
    if (older != "files") {
        for (const QString &name : savedFiles())
            QVERIFY2(rig->workspace.readFile("files/" + name) == before.value(name), qPrintable("partial " + name));
    }
    if (flashed()) {
        for (const QString &name : before.keys())
            QVERIFY2(rig->workspace.readFile("files/" + name) == before.value(name), qPrintable("flashed without " + name));
    }
}

// Pulls the cable as soon as the receiver gets this request.
void FaultsTest::unplugOn(char request)
{
    QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [this, request](char command) {
        if (command == request)
            rig->receiver.unplug();
    });
}

void FaultsTest::unplugDuringDownload()
{
    const QString file = "city.csv";
    QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [this, file](char command, const QString &path) {
        if (command == 'D' && path == "/" + file) {
            // Half the file, then the cable is pulled.
            const QByteArray content = before.value(file);
            rig->receiver.faults().silentCommands = { 'D' };
            QByteArray size(4, '\0');
            size[2] = char(content.size() >> 8);
            size[3] = char(content.size());
            rig->receiver.sendRaw(size + content.left(content.size() / 2));
        }
    });
    install();
    QTRY_VERIFY_WITH_TIMEOUT(sizeOfFile > 0 && recived.size() == before.value(file).size() / 2, 10000);
    rig->receiver.unplug();
    QVERIFY(finished());
    QCOMPARE(log().mid(log().size() - 3), QStringList({ file, "...connection lost", "..." + rig->receiver.portName()
                                                        + " went away: plug the receiver in again, choose its port and press Install FW" }));
    QVERIFY(!flashed());
    QVERIFY(!QFile::exists("files/" + file));
    verifyNothingLost();
}

void FaultsTest::unplugDuringUpload()
{
    const QString file = "city.csv";
    const auto pull = QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [this, file](char command, const QString &path) {
        if (command == 'U' && path == "/" + file)
            rig->receiver.unplug();
    });
    install();
    QVERIFY(finished());
    QCOMPARE(log().mid(log().size() - 4), QStringList({ file, "...connection lost", "...the saved data was not put back; it is in the folder files",
                                                        "..." + rig->receiver.portName() + " went away: plug the receiver in again, choose "
                                                        "its port and press Install FW; the saved data will be offered then" }));
    QVERIFY(!log().contains("-> Installation complete."));
    // The backup is whole, ready for the next attempt.
    for (const QString &name : dataFiles)
        QCOMPARE(rig->workspace.readFile("files/" + name), before.value(name));
    verifyNothingLost();

    // The second attempt puts that backup on the receiver, which lost the files it had not got back.
    QObject::disconnect(pull);
    QVERIFY(rig->plugReceiverIn());
    rig->boxes.answer = QMessageBox::Yes;
    install();
    QVERIFY(finished());
    QCOMPARE(rig->boxes.texts.size(), 1);
    QVERIFY(rig->boxes.texts.first().startsWith("The stations and settings saved on "));
    QCOMPARE(rig->boxes.icons, QList<QMessageBox::Icon>{ QMessageBox::Question });
    QCOMPARE(log().last(), QString("-> Installation complete."));
    for (const QString &name : dataFiles)
        QCOMPARE(rig->receiver.files().value(name), before.value(name));
    const QStringList folders = eightDigitFolders() + QStringList{ "files" };
    for (const QString &folder : folders)
        QVERIFY(!QFile::exists(folder + "/restore-pending.json"));
}

void FaultsTest::untrustedListAsks_data()
{
    const int size = sampleData("ap.csv").size();
    const QByteArray apEntry = QByteArray::fromHex("00000006") + bigEndianField(quint32(size)) + "ap.csv";
    const QByteArray cityEntry = QByteArray::fromHex("0000000800000001") + "city.csv";
    QTest::addColumn<QByteArray>("listReply");
    QTest::addColumn<QByteArray>("memoryReply");     // sent instead of the real one when not empty
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QStringList>("saved");
    const QByteArray longer = bigEndianField(quint32(apEntry.size())) + apEntry + cityEntry;
    QTest::newRow("one entry more, Cancel") << longer << QByteArray() << false << QStringList();
    QTest::newRow("one entry more, Yes") << longer << QByteArray() << true << QStringList{ "ap.csv" };
}

void FaultsTest::untrustedListAsks()
{
    QFETCH(QByteArray, listReply);
    QFETCH(QByteArray, memoryReply);
    QFETCH(bool, yes);
    QFETCH(QStringList, saved);
    rig->receiver.faults().listReplyOverride = listReply;
    QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [&](char command) {
        if (command == 'M' && !memoryReply.isEmpty() && !flashed()) {
            rig->receiver.faults().silentCommands = { 'M' };
            rig->receiver.sendRaw(memoryReply);
        } else if (command == 'D' || flashed()) {
            rig->receiver.faults().listReplyOverride.clear();
            rig->receiver.faults().silentCommands.clear();
        }
    });
    rig->boxes.answer = yes ? QMessageBox::Yes : QMessageBox::Cancel;
    install();
    QVERIFY(finished());
    QCOMPARE(rig->boxes.texts, QStringList{ "The files on the receiver can't be read, so they can't be saved. Install the "
                                            "firmware anyway? Its stations, presets and settings will be lost." });
    QCOMPARE(rig->boxes.icons, QList<QMessageBox::Icon>{ QMessageBox::Warning });
    QCOMPARE(flashed(), yes);
    if (!yes) {
        QCOMPARE(log().mid(log().size() - 2), QStringList({ "...can't read the file list of the device", "...the receiver still holds "
                                                            "its data: switch it off and on, then press Install FW again" }));
        QCOMPARE(rig->receiver.files(), before);
        verifyNothingLost();
        return;
    }
    QVERIFY(log().contains("...installing without a complete backup"));
    QCOMPARE(savedFiles(), saved);
    for (const QString &name : saved)
        QCOMPARE(rig->workspace.readFile("files/" + name), before.value(name));
    QCOMPARE(rig->workspace.readFile(olderBackupFolder() + "/ap.csv"), olderBackup);
}

void FaultsTest::hostileNamesStayInside()
{
    const QStringList hostile = { "..", "../escape", "a\\b", "C:x", "con", QString(255, 'L'), QString::fromUtf8("\u00e9t\u00e9.csv") };
    for (const QString &name : hostile)
        rig->receiver.putFile(name, name.toUtf8());
    before = rig->receiver.files();
    const QStringList outsideBefore = QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    install();
    QVERIFY(finished());
    QCOMPARE(log().last(), QString("-> Installation complete."));
    QStringList outsideAfter = QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    outsideAfter.removeAll(olderBackupFolder());
    outsideAfter.removeAll("logs");
    QCOMPARE(outsideAfter, outsideBefore);
    QVERIFY(QDir("..").entryList({ "escape" }).isEmpty());
    QCOMPARE(savedFiles().size(), before.size());
    QCOMPARE(rig->workspace.readFile("files/..-escape"), QByteArray("../escape"));
    QCOMPARE(rig->workspace.readFile("files/-con"), QByteArray("con"));
}

void FaultsTest::repeatedReplies()
{
    // Files of one size, so that the previous reply, sent again ahead of the
    // next one, fits the next file's request: it is never saved as that
    // file, and nothing is flashed over a backup without it.
    for (const QString &name : dataFiles)
        rig->receiver.putFile(name, name.toUtf8().leftJustified(4000, '.'));
    before = rig->receiver.files();
    QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [this](char command, const QString &path) {
        if (command == 'D' && path == "/city.csv")
            rig->receiver.faults().repeatPrevious = true;
    });
    install();
    QVERIFY(waitUntil([this] { return installStat == 0 || !log().filter("; Cancel ends the installation").isEmpty(); }));
    rig->cancel();
    verifyNothingLost();
    QVERIFY(!flashed());
    QCOMPARE(savedFiles(), QStringList{ "ap.csv" });
}

// Run by the test tst_faults_full_disk, whose working folder lies on a
// small file system of its own.
void FaultsTest::fullDisk()
{
    if (qEnvironmentVariableIsEmpty("VELTRA_SMALL_DISK"))
        QSKIP("needs the small file system of tst_faults_full_disk");
    for (const QString &name : dataFiles)
        rig->receiver.putFile(name, sampleData(name, 12288 / 40).left(12288));
    before = rig->receiver.files();
    // Room for one file and most of the next: the file system fills up during the backup.
    QFile filler("filler");
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const qint64 room = QStorageInfo(".").bytesAvailable() - 20 * 1024;
    QCOMPARE(filler.write(QByteArray(int(room), 'f')), room);
    filler.close();
    install();
    const QString reason = "...PC: can't write downloading file; Cancel ends the installation";
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(reason), 10000);
    const QString unsaved = log().at(log().indexOf(reason) - 1);
    rig->cancel();
    QVERIFY(!flashed());
    QVERIFY(!QFile::exists("files/" + unsaved));
    QCOMPARE(savedFiles(), QStringList(dataFiles.mid(0, dataFiles.indexOf(unsaved))));
    QCOMPARE(rig->receiver.files(), before);
    verifyNothingLost();
}

// A receiver whose firmware answers only noise is no receiver that holds
// nothing: the user is asked, and Cancel flashes nothing.
void FaultsTest::noiseIsNoEmptyReceiver()
{
    rig->receiver.faults().memoryReplyOverride = ReceiverSimulator::esp32BootText() + QByteArray(6, '\0');
    rig->boxes.answer = QMessageBox::Cancel;
    install();
    QVERIFY(finished());
    QCOMPARE(rig->boxes.icons, QList<QMessageBox::Icon>{ QMessageBox::Warning });
    QVERIFY(!log().contains("...filesystem not found on device"));
    QCOMPARE(log().mid(log().size() - 2), QStringList({ "...can't read the file list of the device", "...the receiver still holds "
                                                        "its data: switch it off and on, then press Install FW again" }));
    QVERIFY(!flashed());
    QCOMPARE(rig->receiver.files(), before);
    verifyNothingLost();
}

void FaultsTest::restartDuringTransfer_data()
{
    QTest::addColumn<char>("command");
    QTest::addColumn<int>("after");
    QTest::addColumn<QString>("said");
    QTest::newRow("download") << 'D' << 300 << "...the receiver restarted during city.csv; it is asked for again";
    QTest::newRow("upload") << 'U' << 20 << "...the receiver restarted during city.csv; it is sent again";
}

// A receiver that restarts in the middle of a file, printing its boot text:
// the file is taken up again from its start, and nothing is lost.
void FaultsTest::restartDuringTransfer()
{
    QFETCH(char, command);
    QFETCH(int, after);
    QFETCH(QString, said);
    ReceiverFaults &faults = rig->receiver.faults();
    faults.bootText = ReceiverSimulator::esp32BootText();
    faults.keepPartialUploads = true;
    bool armed = false;
    QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [&, command, after] {
        if (!armed && (command == 'D' || flashed())) {
            armed = true;
            faults.resetDuring = { command, "/city.csv", after };
        }
    });
    install();
    QVERIFY(finished());
    QCOMPARE(log().filter("...the receiver restarted during"), QStringList{ said });
    QCOMPARE(log().last(), QString("-> Installation complete."));
    for (const QString &name : dataFiles) {
        QCOMPARE(rig->receiver.files().value(name), before.value(name));
        QCOMPARE(rig->workspace.readFile("files/" + name), before.value(name));
    }
}

// A restore cut off in city.csv leaves part of it on a receiver that writes
// each chunk as it comes; a second try cancelled during its backup, and a
// third that takes the offer: the receiver ends with its whole data.
void FaultsTest::laterTriesBringTheDataBack()
{
    ReceiverFaults &faults = rig->receiver.faults();
    faults.keepPartialUploads = true;
    int chunks = -1;
    const auto cut = QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [&](char command, const QString &path) {
        if (command == 'U' && path == "/city.csv" && flashed())
            chunks = 0;
        else if (command == 'U' && chunks >= 0 && ++chunks == 20) {
            rig->receiver.reset(false);
            rig->receiver.unplug();
        }
    });
    install();
    QVERIFY(finished());
    QObject::disconnect(cut);
    QCOMPARE(rig->receiver.files().value("city.csv"), before.value("city.csv").left(19 * 32));
    for (bool cancelled : { true, false }) {
        QVERIFY(rig->plugReceiverIn());
        const auto cancel = QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [&](char command) {
            if (command == 'D' && cancelled)
                rig->cancel();
        });
        rig->boxes.texts.clear();
        install();
        QVERIFY(finished());
        QObject::disconnect(cancel);
        // The saved data is offered after the backup, which the second try cancelled.
        QCOMPARE(rig->boxes.texts.size(), cancelled ? 0 : 1);
    }
    QVERIFY(rig->boxes.texts.first().startsWith("The stations and settings saved on "));
    QCOMPARE(rig->boxes.defaults.first(), QMessageBox::Yes);
    QCOMPARE(log().last(), QString("-> Installation complete."));
    for (const QString &name : dataFiles)
        QCOMPARE(rig->receiver.files().value(name), before.value(name));
}

void FaultsTest::twoReceivers_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("No: its own data back, the first one's offered again") << false;
    QTest::newRow("Yes: the first one's data on it, its own kept") << true;
}

// A first try on receiver A ends with A's data not back; the second is on
// receiver B, which holds data of its own: the offer says so and defaults
// to No, and whichever the answer, no data is left without a record.
void FaultsTest::twoReceivers()
{
    QFETCH(bool, yes);
    const auto pull = QObject::connect(&rig->receiver, &ReceiverSimulator::requestReceived, [this](char command, const QString &path) {
        if (command == 'U' && path == "/city.csv")
            rig->receiver.unplug();
    });
    install();
    QVERIFY(finished());
    QObject::disconnect(pull);

    QVERIFY(rig->plugReceiverIn());
    rig->receiver.clearFiles();
    const QMap<QString, QByteArray> dataOfB = { { "ap.csv", "receiver B's stations\n" }, { "city.csv", "receiver B's cities\n" } };
    for (auto it = dataOfB.cbegin(); it != dataOfB.cend(); ++it)
        rig->receiver.putFile(it.key(), it.value());
    rig->boxes.answer = yes ? QMessageBox::Yes : QMessageBox::No;
    rig->boxes.texts.clear();
    install();
    QVERIFY(finished());
    const QString movedA = log().filter("...older backup moved to ").value(0).section(' ', -1);
    QCOMPARE(rig->boxes.texts.size(), 1);
    QVERIFY(rig->boxes.texts.first().endsWith("The receiver holds stations and settings of its own that differ from them "
                                              "(ap.csv, city.csv); those stay saved in the folder files."));
    QCOMPARE(rig->boxes.defaults.first(), QMessageBox::No);
    QCOMPARE(log().last(), QString("-> Installation complete."));
    for (auto it = dataOfB.cbegin(); it != dataOfB.cend(); ++it)
        QCOMPARE(rig->workspace.readFile("files/" + it.key()), it.value());
    if (yes) {
        QVERIFY(log().contains("...the receiver's own ap.csv, city.csv stay in the folder files, to be offered next time"));
        for (const QString &name : dataFiles)
            QCOMPARE(rig->receiver.files().value(name), before.value(name));
        QVERIFY(QFile::exists("files/restore-pending.json"));
        QVERIFY(!QFile::exists(movedA + "/restore-pending.json"));
    } else {
        QCOMPARE(log().filter(" stays in the folder " + movedA + "; it is offered again next time").size(), 1);
        QCOMPARE(rig->receiver.files().value("ap.csv"), dataOfB.value("ap.csv"));
        QVERIFY(!QFile::exists("files/restore-pending.json"));
        QVERIFY(QFile::exists(movedA + "/restore-pending.json"));
    }
}

// A receiver whose first answer to every exchange comes late, as one busy
// opening a file or walking its file system: the installer gives it its
// time, and every file goes back byte for byte.
void FaultsTest::slowReceiver()
{
    rig->receiver.faults().slowFirstAnswerMs = testTimings().lateAnswerMs * 2 / 3;
    install();
    QVERIFY(rig->installationEnded(60000));
    QCOMPARE(log().last(), QString("-> Installation complete."));
    QVERIFY(log().filter("stopped answering").isEmpty());
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        QCOMPARE(rig->workspace.readFile("files/" + it.key()), it.value());
        QCOMPARE(rig->receiver.files().value(it.key()), it.value());
    }
}

QTEST_MAIN(FaultsTest)
#include "tst_faults.moc"
