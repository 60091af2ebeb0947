// Single and batch downloads and uploads over the simulated receiver,
// byte-exact on the wire.

#include "app/session.h"
#include "testkit.h"

#include <QComboBox>
#include <QDir>
#include <QStatusBar>
#include <QTableWidget>
#include <QtTest>

namespace {
const QByteArray &tag = frameTagBytes;

QByteArray chunkFrame(const QByteArray &content)
{
    return tag + "U" + char(content.size()) + content;
}

// Asks for the first listed file into the working folder; the receiver
// answers nothing, so that the test sends the reply itself.
bool requestWithoutReply(Rig &rig)
{
    rig.receiver.faults().silentCommands = { 'D' };
    rig.downloadRow(0, rig.workspace.path());
    return waitUntil([&] { return requestLetters(rig.receiver) == "MLD"; }, 10000);
}
}

class TransfersTest : public QObject
{
    Q_OBJECT

private slots:
    void downloadThroughDialog();
    void downloadPercentages();
    void downloadWithBytesBeyondSizeNotSaved();
    void downloadSizeAboveSignedByte();
    void downloadPrepareByte();
    void downloadRefused();
    void downloadOfOtherSizeThanListed();
    void downloadOfEmptyFile();
    void downloadDialogCancelled();
    void downloadUnwritableDestination();
    void downloadAfterStaleBytes();
    void downloadNeedsASelectedRow();
    void downloadAllSavesEveryRow();
    void downloadAllKeepsHostileNamesInside();
    void uploadOf70Bytes();
    void uploadOfWholeChunks();
    void uploadOfEmptyFile();
    void uploadStoppedByReceiver();
    void uploadCleansName();
    void uploadRefusals();
    void uploadAllSendsDataAndLanguage();
    void uploadAllSkipsMissingFile();
};

void TransfersTest::downloadThroughDialog()
{
    Rig rig;
    rig.receiver.putFile("ap.csv", "freq,name\n101.1,Radio One\n");
    QVERIFY(rig.connectAndList());
    rig.receiver.clearLog();
    QDir().mkpath("chosen");
    rig.downloadRow(0, QDir("chosen").absolutePath());
    QTRY_VERIFY(mode.isEmpty());

    QCOMPARE(rig.receiver.received(), tag + "D" + hex("00000007") + "/ap.csv");
    QCOMPARE(rig.receiver.received().size(), 28);
    QCOMPARE(rig.workspace.readFile("chosen/ap.csv"), QByteArray("freq,name\n101.1,Radio One\n"));
    QCOMPARE(rig.status(), QString("downloading complete"));
    QVERIFY(rig.statusHistory.contains(QDir("chosen").absolutePath() + "/ap.csv"));
    QVERIFY(rig.statusHistory.contains("downloading, please wait..."));
    QVERIFY(rig.statusHistory.contains("downloaded 100%"));
}

void TransfersTest::downloadPercentages()
{
    Rig rig;
    const QByteArray content = QByteArray(29, 'c') + char(0xff);
    rig.receiver.putFile("scan.csv", content);
    QVERIFY(rig.connectAndList());
    QVERIFY(requestWithoutReply(rig));

    rig.receiver.sendRaw(hex("0000001e"));
    QTRY_COMPARE(sizeOfFile, 30);
    rig.receiver.sendRaw(content.left(10));
    QTRY_COMPARE(rig.status(), QString("downloaded 33%"));
    QVERIFY(!QFile::exists("scan.csv"));
    rig.receiver.sendRaw(content.mid(10));
    QTRY_COMPARE(rig.status(), QString("downloading complete"));
    QCOMPARE(rig.workspace.readFile("scan.csv"), content);
    QCOMPARE(sizeOfFile, 0);
}

void TransfersTest::downloadWithBytesBeyondSizeNotSaved()
{
    // The reply can't be told from bytes behind it, as when a receiver repeats one.
    Rig rig;
    rig.receiver.putFile("ap.csv", "abcd");
    QVERIFY(rig.connectAndList());
    QVERIFY(requestWithoutReply(rig));
    rig.receiver.sendRaw(hex("00000004") + "abcdEXTRA");
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(rig.status(), QString("ESP32: reply longer than the file"));
    QVERIFY(!QFile::exists("ap.csv"));
    QVERIFY(recived.isEmpty());
}

void TransfersTest::downloadSizeAboveSignedByte()
{
    Rig rig;
    const QByteArray content(0x80ff, char(0xee));
    rig.receiver.putFile("big.bin", content);
    QVERIFY(rig.connectAndList());
    rig.downloadRow(0, rig.workspace.path());
    QTRY_COMPARE(rig.status(), QString("downloading complete"));
    QCOMPARE(rig.workspace.readFile("big.bin"), content);
}

void TransfersTest::downloadPrepareByte()
{
    Rig rig;
    rig.receiver.putFile("ap.csv", "ok");
    QVERIFY(rig.connectAndList());
    QVERIFY(requestWithoutReply(rig));
    rig.receiver.sendRaw(hex("00"));
    QTRY_COMPARE(rig.status(), QString("prepare to download..."));
    QCOMPARE(recived.size(), 1);
    rig.receiver.sendRaw(hex("000002") + "ok");
    QTRY_COMPARE(rig.status(), QString("downloading complete"));
    QCOMPARE(rig.workspace.readFile("ap.csv"), QByteArray("ok"));
}

void TransfersTest::downloadRefused()
{
    Rig rig;
    rig.receiver.putFile("ap.csv", "x");
    rig.receiver.faults().refusedDownloads = { "ap.csv" };
    QVERIFY(rig.connectAndList());
    rig.downloadRow(0, rig.workspace.path());
    QTRY_COMPARE(rig.status(), QString("ESP32: can't open the file"));
    QVERIFY(mode.isEmpty());
    QVERIFY(recived.isEmpty());
    QCOMPARE(currentRowDownloadAll, -1);
    QVERIFY(!QFile::exists("ap.csv"));
}

void TransfersTest::downloadOfOtherSizeThanListed()
{
    Rig rig;
    rig.receiver.putFile("ap.csv", "listed with 18 B\n");
    rig.receiver.putFile("city.csv", "two");
    QVERIFY(rig.connectAndList());
    QDir().mkdir("files");
    // The reply of another file, as a receiver repeating an earlier answer sends it.
    rig.receiver.faults().silentCommands = { 'D' };
    rig.invoke("on_pushButton_DownloadAll_clicked");
    QTRY_COMPARE(requestLetters(rig.receiver), QString("MLD"));
    rig.receiver.sendRaw(QByteArray::fromHex("00000003") + "two");
    QTRY_COMPARE(rig.status(), QString("ESP32: file size differs from the list"));
    QCOMPARE(rig.logLines().last(), QString("ESP32: file size differs from the list"));
    QVERIFY(mode.isEmpty());
    QCOMPARE(currentRowDownloadAll, -1);
    QVERIFY(QDir("files").isEmpty());
    QCOMPARE(requestLetters(rig.receiver), QString("MLD"));
}

void TransfersTest::downloadOfEmptyFile()
{
    Rig rig;
    rig.receiver.putFile("empty.txt", QByteArray());
    QVERIFY(rig.connectAndList());
    rig.downloadRow(0, rig.workspace.path());
    QTRY_COMPARE(rig.status(), QString("file empty"));
    QCOMPARE(rig.logLines().last(), QString("...skipped"));
    QVERIFY(mode.isEmpty());
    QVERIFY(!QFile::exists("empty.txt"));
}

void TransfersTest::downloadDialogCancelled()
{
    Rig rig;
    rig.receiver.putFile("ap.csv", "x");
    QVERIFY(rig.connectAndList());
    rig.selectRow(0);
    rig.invoke("on_pushButton_clicked");
    QCOMPARE(rig.status(), QString("PC: empty downloading path"));
    QVERIFY(mode.isEmpty());
    QCOMPARE(requestLetters(rig.receiver), QString("ML"));
}

void TransfersTest::downloadUnwritableDestination()
{
    Rig rig;
    rig.receiver.putFile("ap.csv", "new content");
    QVERIFY(rig.connectAndList());
    // A folder where the file should go: nothing can be written under that name.
    QDir().mkpath("chosen/ap.csv");
    rig.downloadRow(0, QDir("chosen").absolutePath());
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(rig.status(), QString("PC: can't write downloading file"));
    QCOMPARE(rig.logLines().last(), QString("PC: can't write downloading file"));
    QVERIFY(!rig.statusHistory.contains("downloading complete"));
    QVERIFY(QFileInfo("chosen/ap.csv").isDir());
    QCOMPARE(QDir("chosen").entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TransfersTest::downloadAfterStaleBytes()
{
    Rig rig;
    rig.receiver.putFile("ap.csv", "fresh");
    QVERIFY(rig.connectAndList());
    rig.receiver.sendRaw("\x01\x02\x03");
    QTRY_COMPARE(recived.size(), 3);
    rig.downloadRow(0, rig.workspace.path());
    QTRY_COMPARE(rig.status(), QString("downloading complete"));
    QCOMPARE(rig.workspace.readFile("ap.csv"), QByteArray("fresh"));
}

void TransfersTest::downloadNeedsASelectedRow()
{
    Rig rig;
    rig.receiver.putFile("ap.csv", "x");
    QVERIFY(rig.connectAndList());
    rig.invoke("on_pushButton_clicked");
    // A current row without a selected one is no selection either.
    rig.table()->setCurrentCell(0, 1);
    rig.table()->clearSelection();
    QCOMPARE(rig.table()->currentRow(), 0);
    rig.invoke("on_pushButton_clicked");
    QCOMPARE(rig.boxes.texts, QStringList({ "select file, please", "select file, please" }));
    QCOMPARE(requestLetters(rig.receiver), QString("ML"));
}

void TransfersTest::downloadAllSavesEveryRow()
{
    Rig rig;
    rig.receiver.putFile("ap.csv", "a");
    rig.receiver.putFile("b.txt", QByteArray());
    rig.receiver.putFile("city.csv", "c");
    QVERIFY(rig.connectAndList());
    QDir().mkdir("files");
    rig.receiver.clearLog();
    rig.invoke("on_pushButton_DownloadAll_clicked");
    QTRY_COMPARE(currentRowDownloadAll, -1);
    QTRY_VERIFY(mode.isEmpty());

    QStringList requested;
    for (const ReceivedRequest &request : rig.receiver.requests())
        requested << request.path;
    QCOMPARE(requested, QStringList({ "/ap.csv", "/b.txt", "/city.csv" }));
    QCOMPARE(rig.workspace.readFile("files/ap.csv"), QByteArray("a"));
    QCOMPARE(rig.workspace.readFile("files/city.csv"), QByteArray("c"));
    QVERIFY(!QFile::exists("files/b.txt"));
    QCOMPARE(rig.logLines().mid(rig.logLines().size() - 4),
             QStringList({ "ap.csv", "b.txt", "...skipped", "city.csv" }));
    QCOMPARE(installStat, 0);
}

void TransfersTest::downloadAllKeepsHostileNamesInside()
{
    Rig rig;
    const QStringList hostile = { "..", "../x", "a\\b", "C:x", "con", QString(255, 'n'), QString::fromUtf8("café.csv") };
    for (const QString &name : hostile)
        rig.receiver.putFile(name, name.toUtf8());
    QVERIFY(rig.connectAndList());
    QCOMPARE(rig.table()->rowCount(), hostile.size());
    QDir().mkdir("files");
    rig.invoke("on_pushButton_DownloadAll_clicked");
    QTRY_COMPARE(currentRowDownloadAll, -1);
    QTRY_VERIFY(mode.isEmpty());

    const QStringList saved = QDir("files").entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(saved.size(), hostile.size());
    QVERIFY(saved.contains("---"));
    QVERIFY(saved.contains("..-x"));
    QVERIFY(saved.contains("a-b"));
    QVERIFY(saved.contains("C-x"));
    QVERIFY(saved.contains("-con"));
    QVERIFY(saved.contains(QString::fromUtf8("café.csv")));
    QCOMPARE(QDir().entryList(QDir::Files), QStringList({ "driver.sh", "flash.sh" }));
    QCOMPARE(rig.workspace.readFile("files/..-x"), QByteArray("../x"));
    QCOMPARE(rig.workspace.readFile("files/-con"), QByteArray("con"));
}

void TransfersTest::uploadOf70Bytes()
{
    Rig rig;
    QVERIFY(rig.connectAndList());
    QByteArray content;
    for (int i = 0; i < 70; ++i)
        content += char(0x80 + i);
    rig.workspace.writeFile("pc/city.csv", content);
    rig.boxes.dialogPath = QDir("pc").absoluteFilePath("city.csv");
    rig.receiver.clearLog();
    rig.statusHistory.clear();
    rig.invoke("on_pushButton_2_clicked");
    QTRY_COMPARE(rig.tableNames(), QStringList{ "city.csv" });
    QTRY_VERIFY(mode.isEmpty());

    const QByteArray header = tag + "U" + hex("00000009") + hex("00000046") + "/city.csv";
    QCOMPARE(header.size(), 34);
    const QByteArray expected = header + chunkFrame(content.left(32)) + chunkFrame(content.mid(32, 32))
                              + chunkFrame(content.mid(64)) + tag + "u" + tag + "M" + tag + "L";
    QCOMPARE(rig.receiver.received(), expected);
    QCOMPARE(rig.statusHistory, QStringList({ "uploading...", "uploaded 0%", "uploaded 46%", "uploaded 92%",
                                                "uploaded 100%", "uploading complete" }));
    QCOMPARE(rig.receiver.files().value("city.csv"), content);
    QCOMPARE(rig.table()->item(0, 2)->text(), QString("70"));
}

void TransfersTest::uploadOfWholeChunks()
{
    Rig rig;
    QVERIFY(rig.connectAndList());
    const QByteArray content(64, 'p');
    rig.workspace.writeFile("preset.csv", content);
    rig.boxes.dialogPath = QDir().absoluteFilePath("preset.csv");
    rig.receiver.clearLog();
    rig.invoke("on_pushButton_2_clicked");
    QTRY_VERIFY(mode.isEmpty());
    const QByteArray header = tag + "U" + hex("0000000b") + hex("00000040") + "/preset.csv";
    QCOMPARE(rig.receiver.received(), header + chunkFrame(content.left(32)) + chunkFrame(content.mid(32))
                                            + tag + "u" + tag + "M" + tag + "L");
    QCOMPARE(rig.receiver.files().value("preset.csv"), content);
}

void TransfersTest::uploadOfEmptyFile()
{
    Rig rig;
    QVERIFY(rig.connectAndList());
    rig.workspace.writeFile("empty.txt", QByteArray());
    rig.boxes.dialogPath = QDir().absoluteFilePath("empty.txt");
    rig.receiver.clearLog();
    rig.statusHistory.clear();
    rig.invoke("on_pushButton_2_clicked");
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(rig.receiver.received(),
             tag + "U" + hex("0000000a") + hex("00000000") + "/empty.txt" + tag + "u" + tag + "M" + tag + "L");
    QVERIFY(rig.statusHistory.contains("uploaded 100%"));
    QVERIFY(rig.receiver.files().contains("empty.txt"));
}

void TransfersTest::uploadStoppedByReceiver()
{
    Rig rig;
    QVERIFY(rig.connectAndList());
    rig.receiver.faults().stopUploadAfterChunk = 1;
    rig.workspace.writeFile("scan.csv", QByteArray(100, 's'));
    rig.boxes.dialogPath = QDir().absoluteFilePath("scan.csv");
    rig.receiver.clearLog();
    rig.invoke("on_pushButton_2_clicked");
    QTRY_VERIFY(mode.isEmpty());
    QVERIFY(rig.statusHistory.contains("uploading stoped"));
    QCOMPARE(requestLetters(rig.receiver), QString("UUML"));
    QCOMPARE(sizeOfFile, 0);
    QVERIFY(!rig.receiver.files().contains("scan.csv"));
}

void TransfersTest::uploadCleansName()
{
    Rig rig;
    QVERIFY(rig.connectAndList());
    rig.workspace.writeFile(QString::fromUtf8("my città (2).csv"), "x");
    rig.boxes.dialogPath = QDir().absoluteFilePath(QString::fromUtf8("my città (2).csv"));
    rig.invoke("on_pushButton_2_clicked");
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(rig.tableNames(), QStringList{ "mycitt(2).csv" });
}

void TransfersTest::uploadRefusals()
{
    Rig rig;
    rig.receiver.setCapacity(1000);
    rig.receiver.putFile("ap.csv", QByteArray(900, 'a'));
    QVERIFY(rig.connectAndList());
    rig.receiver.clearLog();

    rig.invoke("on_pushButton_2_clicked");
    QCOMPARE(rig.status(), QString("ESP32: empty uploading path"));

    rig.workspace.writeFile(".hidden", "x");
    rig.boxes.dialogPath = QDir().absoluteFilePath(".hidden");
    rig.invoke("on_pushButton_2_clicked");
    QCOMPARE(rig.boxes.texts.last(), QString("incorrect file name"));
    QCOMPARE(rig.boxes.icons.last(), QMessageBox::Critical);

    // Exactly as large as the free space is too large.
    rig.workspace.writeFile("big.csv", QByteArray(100, 'b'));
    rig.boxes.dialogPath = QDir().absoluteFilePath("big.csv");
    rig.invoke("on_pushButton_2_clicked");
    QCOMPARE(rig.boxes.texts.last(), QString("ESP32: not enough free space"));
    QCOMPARE(rig.boxes.icons.last(), QMessageBox::Warning);
    QCOMPARE(rig.status(), QString());

    rig.workspace.writeFile("fits.csv", QByteArray(99, 'f'));
    rig.boxes.dialogPath = QDir().absoluteFilePath("fits.csv");
    rig.invoke("on_pushButton_2_clicked");
    QTRY_VERIFY(rig.receiver.files().contains("fits.csv"));
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(requestLetters(rig.receiver).left(1), QString("U"));
    QVERIFY(noModalLeft());
}

void TransfersTest::uploadAllSendsDataAndLanguage()
{
    Rig rig;
    for (const char *name : { "ap.csv", "city.csv", "preset.csv", "scan.csv" })
        rig.workspace.writeFile(QString("files/") + name, QByteArray(name).repeated(20));
    rig.languageBox()->setCurrentText(QString::fromUtf8("Русский"));
    QVERIFY(rig.connectAndList());
    rig.receiver.clearLog();
    rig.invoke("on_pushButton_UploadAll_clicked");
    QTRY_VERIFY(nextFileNameUpload.isEmpty() && mode.isEmpty());

    QStringList uploaded;
    QString letters;
    for (const ReceivedRequest &request : rig.receiver.requests()) {
        letters += QChar(request.command);
        if (!request.path.isEmpty())
            uploaded << request.path;
    }
    QCOMPARE(uploaded, QStringList({ "/ap.csv", "/city.csv", "/preset.csv", "/scan.csv", "/rus.lng" }));
    QVERIFY(letters.endsWith("uML"));
    QCOMPARE(letters.count("ML"), 5);
    QCOMPARE(rig.receiver.files().value("rus.lng"), rig.workspace.readFile("firmware/languages/rus.lng"));
    QCOMPARE(rig.receiver.files().value("preset.csv"), QByteArray("preset.csv").repeated(20));
    QCOMPARE(installStat, 0);
}

void TransfersTest::uploadAllSkipsMissingFile()
{
    Rig rig;
    for (const char *name : { "ap.csv", "preset.csv", "scan.csv" })
        rig.workspace.writeFile(QString("files/") + name, name);
    QVERIFY(rig.connectAndList());
    rig.invoke("on_pushButton_UploadAll_clicked");
    QTRY_VERIFY(nextFileNameUpload.isEmpty() && mode.isEmpty());
    const QStringList lines = rig.logLines();
    const int city = lines.indexOf("city.csv");
    QVERIFY(city > 0);
    QCOMPARE(lines.at(city + 1), QString("...skipped"));
    QCOMPARE(lines.at(city + 2), QString("preset.csv"));
    QVERIFY(rig.statusHistory.contains("file no exist: files/city.csv"));
    QCOMPARE(rig.receiver.files().keys(), QStringList({ "ap.csv", "eng.lng", "preset.csv", "scan.csv" }));
}

QTEST_MAIN(TransfersTest)
#include "tst_transfers.moc"
