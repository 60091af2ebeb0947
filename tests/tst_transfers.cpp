// Single and batch downloads and uploads over the simulated receiver,
// byte-exact on the wire.

#include "session.h"
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
bool requestWithoutReply(Bench &bench)
{
    bench.receiver.faults().silentCommands = { 'D' };
    bench.boxes.dialogPath = bench.workspace.path();
    bench.selectRow(0);
    bench.invoke("on_pushButton_clicked");
    return waitUntil([&] { return requestLetters(bench.receiver) == "MLD"; }, 10000);
}
}

class TransfersTest : public QObject
{
    Q_OBJECT

private slots:
    void downloadThroughDialog();
    void downloadPercentages();
    void downloadDropsBytesBeyondSize();
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
    Bench bench;
    bench.receiver.putFile("ap.csv", "freq,name\n101.1,Radio One\n");
    QVERIFY(bench.connectAndList());
    bench.receiver.clearLog();
    QDir().mkpath("chosen");
    bench.boxes.dialogPath = QDir("chosen").absolutePath();
    bench.selectRow(0);
    bench.invoke("on_pushButton_clicked");
    QTRY_VERIFY(mode.isEmpty());

    QCOMPARE(bench.receiver.received(), tag + "D" + hex("00000007") + "/ap.csv");
    QCOMPARE(bench.receiver.received().size(), 28);
    QCOMPARE(bench.workspace.readFile("chosen/ap.csv"), QByteArray("freq,name\n101.1,Radio One\n"));
    QCOMPARE(bench.status(), QString("downloading complete"));
    QVERIFY(bench.statusHistory.contains(QDir("chosen").absolutePath() + "/ap.csv"));
    QVERIFY(bench.statusHistory.contains("downloading, please wait..."));
    QVERIFY(bench.statusHistory.contains("downloaded 100%"));
}

void TransfersTest::downloadPercentages()
{
    Bench bench;
    const QByteArray content = QByteArray(29, 'c') + char(0xff);
    bench.receiver.putFile("scan.csv", content);
    QVERIFY(bench.connectAndList());
    QVERIFY(requestWithoutReply(bench));

    bench.receiver.sendRaw(hex("0000001e"));
    QTRY_COMPARE(sizeOfFile, 30);
    bench.receiver.sendRaw(content.left(10));
    QTRY_COMPARE(bench.status(), QString("downloaded 33%"));
    QVERIFY(!QFile::exists("scan.csv"));
    bench.receiver.sendRaw(content.mid(10));
    QTRY_COMPARE(bench.status(), QString("downloading complete"));
    QCOMPARE(bench.workspace.readFile("scan.csv"), content);
    QCOMPARE(sizeOfFile, 0);
}

void TransfersTest::downloadDropsBytesBeyondSize()
{
    Bench bench;
    bench.receiver.putFile("ap.csv", "abcd");
    QVERIFY(bench.connectAndList());
    QVERIFY(requestWithoutReply(bench));
    bench.receiver.sendRaw(hex("00000004") + "abcdEXTRA");
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(bench.workspace.readFile("ap.csv"), QByteArray("abcd"));
    QVERIFY(recived.isEmpty());
}

void TransfersTest::downloadSizeAboveSignedByte()
{
    Bench bench;
    const QByteArray content(0x80ff, char(0xee));
    bench.receiver.putFile("big.bin", content);
    QVERIFY(bench.connectAndList());
    bench.boxes.dialogPath = bench.workspace.path();
    bench.selectRow(0);
    bench.invoke("on_pushButton_clicked");
    QTRY_COMPARE(bench.status(), QString("downloading complete"));
    QCOMPARE(bench.workspace.readFile("big.bin"), content);
}

void TransfersTest::downloadPrepareByte()
{
    Bench bench;
    bench.receiver.putFile("ap.csv", "ok");
    QVERIFY(bench.connectAndList());
    QVERIFY(requestWithoutReply(bench));
    bench.receiver.sendRaw(hex("00"));
    QTRY_COMPARE(bench.status(), QString("prepare to download..."));
    QCOMPARE(recived.size(), 1);
    bench.receiver.sendRaw(hex("000002") + "ok");
    QTRY_COMPARE(bench.status(), QString("downloading complete"));
    QCOMPARE(bench.workspace.readFile("ap.csv"), QByteArray("ok"));
}

void TransfersTest::downloadRefused()
{
    Bench bench;
    bench.receiver.putFile("ap.csv", "x");
    bench.receiver.faults().refusedDownloads = { "ap.csv" };
    QVERIFY(bench.connectAndList());
    bench.boxes.dialogPath = bench.workspace.path();
    bench.selectRow(0);
    bench.invoke("on_pushButton_clicked");
    QTRY_COMPARE(bench.status(), QString("ESP32: can't open the file"));
    QVERIFY(mode.isEmpty());
    QVERIFY(recived.isEmpty());
    QCOMPARE(currentRowDownloadAll, -1);
    QVERIFY(!QFile::exists("ap.csv"));
}

void TransfersTest::downloadOfOtherSizeThanListed()
{
    Bench bench;
    bench.receiver.putFile("ap.csv", "listed with 18 B\n");
    bench.receiver.putFile("city.csv", "two");
    QVERIFY(bench.connectAndList());
    QDir().mkdir("files");
    // The reply of another file, as a receiver repeating an earlier answer sends it.
    bench.receiver.faults().silentCommands = { 'D' };
    bench.invoke("on_pushButton_DownloadAll_clicked");
    QTRY_COMPARE(requestLetters(bench.receiver), QString("MLD"));
    bench.receiver.sendRaw(QByteArray::fromHex("00000003") + "two");
    QTRY_COMPARE(bench.status(), QString("ESP32: file size differs from the list"));
    QCOMPARE(bench.logLines().last(), QString("ESP32: file size differs from the list"));
    QVERIFY(mode.isEmpty());
    QCOMPARE(currentRowDownloadAll, -1);
    QVERIFY(QDir("files").isEmpty());
    QCOMPARE(requestLetters(bench.receiver), QString("MLD"));
}

void TransfersTest::downloadOfEmptyFile()
{
    Bench bench;
    bench.receiver.putFile("empty.txt", QByteArray());
    QVERIFY(bench.connectAndList());
    bench.boxes.dialogPath = bench.workspace.path();
    bench.selectRow(0);
    bench.invoke("on_pushButton_clicked");
    QTRY_COMPARE(bench.status(), QString("file empty"));
    QCOMPARE(bench.logLines().last(), QString("...skipped"));
    QVERIFY(mode.isEmpty());
    QVERIFY(!QFile::exists("empty.txt"));
}

void TransfersTest::downloadDialogCancelled()
{
    Bench bench;
    bench.receiver.putFile("ap.csv", "x");
    QVERIFY(bench.connectAndList());
    bench.selectRow(0);
    bench.invoke("on_pushButton_clicked");
    QCOMPARE(bench.status(), QString("PC: empty downloading path"));
    QVERIFY(mode.isEmpty());
    QCOMPARE(requestLetters(bench.receiver), QString("ML"));
}

void TransfersTest::downloadUnwritableDestination()
{
    Bench bench;
    bench.receiver.putFile("ap.csv", "new content");
    QVERIFY(bench.connectAndList());
    // A folder where the file should go: nothing can be written under that name.
    QDir().mkpath("chosen/ap.csv");
    bench.boxes.dialogPath = QDir("chosen").absolutePath();
    bench.selectRow(0);
    bench.invoke("on_pushButton_clicked");
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(bench.status(), QString("PC: can't write downloading file"));
    QCOMPARE(bench.logLines().last(), QString("PC: can't write downloading file"));
    QVERIFY(!bench.statusHistory.contains("downloading complete"));
    QVERIFY(QFileInfo("chosen/ap.csv").isDir());
    QCOMPARE(QDir("chosen").entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TransfersTest::downloadAfterStaleBytes()
{
    Bench bench;
    bench.receiver.putFile("ap.csv", "fresh");
    QVERIFY(bench.connectAndList());
    bench.receiver.sendRaw("\x01\x02\x03");
    QTRY_COMPARE(recived.size(), 3);
    bench.boxes.dialogPath = bench.workspace.path();
    bench.selectRow(0);
    bench.invoke("on_pushButton_clicked");
    QTRY_COMPARE(bench.status(), QString("downloading complete"));
    QCOMPARE(bench.workspace.readFile("ap.csv"), QByteArray("fresh"));
}

void TransfersTest::downloadNeedsASelectedRow()
{
    Bench bench;
    bench.receiver.putFile("ap.csv", "x");
    QVERIFY(bench.connectAndList());
    bench.invoke("on_pushButton_clicked");
    // A current row without a selected one is no selection either.
    bench.table()->setCurrentCell(0, 1);
    bench.table()->clearSelection();
    QCOMPARE(bench.table()->currentRow(), 0);
    bench.invoke("on_pushButton_clicked");
    QCOMPARE(bench.boxes.texts, QStringList({ "select file, please", "select file, please" }));
    QCOMPARE(requestLetters(bench.receiver), QString("ML"));
}

void TransfersTest::downloadAllSavesEveryRow()
{
    Bench bench;
    bench.receiver.putFile("ap.csv", "a");
    bench.receiver.putFile("b.txt", QByteArray());
    bench.receiver.putFile("city.csv", "c");
    QVERIFY(bench.connectAndList());
    QDir().mkdir("files");
    bench.receiver.clearLog();
    bench.invoke("on_pushButton_DownloadAll_clicked");
    QTRY_COMPARE(currentRowDownloadAll, -1);
    QTRY_VERIFY(mode.isEmpty());

    QStringList requested;
    for (const ReceivedRequest &request : bench.receiver.requests())
        requested << request.path;
    QCOMPARE(requested, QStringList({ "/ap.csv", "/b.txt", "/city.csv" }));
    QCOMPARE(bench.workspace.readFile("files/ap.csv"), QByteArray("a"));
    QCOMPARE(bench.workspace.readFile("files/city.csv"), QByteArray("c"));
    QVERIFY(!QFile::exists("files/b.txt"));
    QCOMPARE(bench.logLines().mid(bench.logLines().size() - 4),
             QStringList({ "ap.csv", "b.txt", "...skipped", "city.csv" }));
    QCOMPARE(installStat, 0);
}

void TransfersTest::downloadAllKeepsHostileNamesInside()
{
    Bench bench;
    const QStringList hostile = { "..", "../x", "a\\b", "C:x", "con", QString(255, 'n'), QString::fromUtf8("café.csv") };
    for (const QString &name : hostile)
        bench.receiver.putFile(name, name.toUtf8());
    QVERIFY(bench.connectAndList());
    QCOMPARE(bench.table()->rowCount(), hostile.size());
    QDir().mkdir("files");
    bench.invoke("on_pushButton_DownloadAll_clicked");
    QTRY_COMPARE(currentRowDownloadAll, -1);
    QTRY_VERIFY(mode.isEmpty());

    const QStringList saved = QDir("files").entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(saved.size(), hostile.size());
    QVERIFY(saved.contains("-.."));
    QVERIFY(saved.contains("..-x"));
    QVERIFY(saved.contains("a-b"));
    QVERIFY(saved.contains("C-x"));
    QVERIFY(saved.contains("-con"));
    QVERIFY(saved.contains(QString::fromUtf8("café.csv")));
    QCOMPARE(QDir().entryList(QDir::Files), QStringList({ "driver.sh", "flash.sh" }));
    QCOMPARE(bench.workspace.readFile("files/..-x"), QByteArray("../x"));
    QCOMPARE(bench.workspace.readFile("files/-con"), QByteArray("con"));
}

void TransfersTest::uploadOf70Bytes()
{
    Bench bench;
    QVERIFY(bench.connectAndList());
    QByteArray content;
    for (int i = 0; i < 70; ++i)
        content += char(0x80 + i);
    bench.workspace.writeFile("pc/city.csv", content);
    bench.boxes.dialogPath = QDir("pc").absoluteFilePath("city.csv");
    bench.receiver.clearLog();
    bench.statusHistory.clear();
    bench.invoke("on_pushButton_2_clicked");
    QTRY_COMPARE(bench.tableNames(), QStringList{ "city.csv" });
    QTRY_VERIFY(mode.isEmpty());

    const QByteArray header = tag + "U" + hex("00000009") + hex("00000046") + "/city.csv";
    QCOMPARE(header.size(), 34);
    const QByteArray expected = header + chunkFrame(content.left(32)) + chunkFrame(content.mid(32, 32))
                              + chunkFrame(content.mid(64)) + tag + "u" + tag + "M" + tag + "L";
    QCOMPARE(bench.receiver.received(), expected);
    QCOMPARE(bench.statusHistory, QStringList({ "uploading...", "uploaded 0%", "uploaded 46%", "uploaded 92%",
                                                "uploaded 100%", "uploading complete" }));
    QCOMPARE(bench.receiver.files().value("city.csv"), content);
    QCOMPARE(bench.table()->item(0, 2)->text(), QString("70"));
}

void TransfersTest::uploadOfWholeChunks()
{
    Bench bench;
    QVERIFY(bench.connectAndList());
    const QByteArray content(64, 'p');
    bench.workspace.writeFile("preset.csv", content);
    bench.boxes.dialogPath = QDir().absoluteFilePath("preset.csv");
    bench.receiver.clearLog();
    bench.invoke("on_pushButton_2_clicked");
    QTRY_VERIFY(mode.isEmpty());
    const QByteArray header = tag + "U" + hex("0000000b") + hex("00000040") + "/preset.csv";
    QCOMPARE(bench.receiver.received(), header + chunkFrame(content.left(32)) + chunkFrame(content.mid(32))
                                            + tag + "u" + tag + "M" + tag + "L");
    QCOMPARE(bench.receiver.files().value("preset.csv"), content);
}

void TransfersTest::uploadOfEmptyFile()
{
    Bench bench;
    QVERIFY(bench.connectAndList());
    bench.workspace.writeFile("empty.txt", QByteArray());
    bench.boxes.dialogPath = QDir().absoluteFilePath("empty.txt");
    bench.receiver.clearLog();
    bench.statusHistory.clear();
    bench.invoke("on_pushButton_2_clicked");
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(bench.receiver.received(),
             tag + "U" + hex("0000000a") + hex("00000000") + "/empty.txt" + tag + "u" + tag + "M" + tag + "L");
    QVERIFY(bench.statusHistory.contains("uploaded 100%"));
    QVERIFY(bench.receiver.files().contains("empty.txt"));
}

void TransfersTest::uploadStoppedByReceiver()
{
    Bench bench;
    QVERIFY(bench.connectAndList());
    bench.receiver.faults().stopUploadAfterChunk = 1;
    bench.workspace.writeFile("scan.csv", QByteArray(100, 's'));
    bench.boxes.dialogPath = QDir().absoluteFilePath("scan.csv");
    bench.receiver.clearLog();
    bench.invoke("on_pushButton_2_clicked");
    QTRY_VERIFY(mode.isEmpty());
    QVERIFY(bench.statusHistory.contains("uploading stoped"));
    QCOMPARE(requestLetters(bench.receiver), QString("UUML"));
    QCOMPARE(sizeOfFile, 0);
    QVERIFY(!bench.receiver.files().contains("scan.csv"));
}

void TransfersTest::uploadCleansName()
{
    Bench bench;
    QVERIFY(bench.connectAndList());
    bench.workspace.writeFile(QString::fromUtf8("my città (2).csv"), "x");
    bench.boxes.dialogPath = QDir().absoluteFilePath(QString::fromUtf8("my città (2).csv"));
    bench.invoke("on_pushButton_2_clicked");
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(bench.tableNames(), QStringList{ "mycitt(2).csv" });
}

void TransfersTest::uploadRefusals()
{
    Bench bench;
    bench.receiver.setCapacity(1000);
    bench.receiver.putFile("ap.csv", QByteArray(900, 'a'));
    QVERIFY(bench.connectAndList());
    bench.receiver.clearLog();

    bench.invoke("on_pushButton_2_clicked");
    QCOMPARE(bench.status(), QString("ESP32: empty uploading path"));

    bench.workspace.writeFile(".hidden", "x");
    bench.boxes.dialogPath = QDir().absoluteFilePath(".hidden");
    bench.invoke("on_pushButton_2_clicked");
    QCOMPARE(bench.boxes.texts.last(), QString("incorrect file name"));
    QCOMPARE(bench.boxes.icons.last(), QMessageBox::Critical);

    // Exactly as large as the free space is too large.
    bench.workspace.writeFile("big.csv", QByteArray(100, 'b'));
    bench.boxes.dialogPath = QDir().absoluteFilePath("big.csv");
    bench.invoke("on_pushButton_2_clicked");
    QCOMPARE(bench.boxes.texts.last(), QString("ESP32: not enough free space"));
    QCOMPARE(bench.boxes.icons.last(), QMessageBox::Warning);
    QCOMPARE(bench.status(), QString());

    bench.workspace.writeFile("fits.csv", QByteArray(99, 'f'));
    bench.boxes.dialogPath = QDir().absoluteFilePath("fits.csv");
    bench.invoke("on_pushButton_2_clicked");
    QTRY_VERIFY(bench.receiver.files().contains("fits.csv"));
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(requestLetters(bench.receiver).left(1), QString("U"));
    QVERIFY(noModalLeft());
}

void TransfersTest::uploadAllSendsDataAndLanguage()
{
    Bench bench;
    for (const char *name : { "ap.csv", "city.csv", "preset.csv", "scan.csv" })
        bench.workspace.writeFile(QString("files/") + name, QByteArray(name).repeated(20));
    bench.languageBox()->setCurrentText(QString::fromUtf8("Русский"));
    QVERIFY(bench.connectAndList());
    bench.receiver.clearLog();
    bench.invoke("on_pushButton_UploadAll_clicked");
    QTRY_VERIFY(nextFileNameUpload.isEmpty() && mode.isEmpty());

    QStringList uploaded;
    QString letters;
    for (const ReceivedRequest &request : bench.receiver.requests()) {
        letters += QChar(request.command);
        if (!request.path.isEmpty())
            uploaded << request.path;
    }
    QCOMPARE(uploaded, QStringList({ "/ap.csv", "/city.csv", "/preset.csv", "/scan.csv", "/rus.lng" }));
    QVERIFY(letters.endsWith("uML"));
    QCOMPARE(letters.count("ML"), 5);
    QCOMPARE(bench.receiver.files().value("rus.lng"), bench.workspace.readFile("firmware/languages/rus.lng"));
    QCOMPARE(bench.receiver.files().value("preset.csv"), QByteArray("preset.csv").repeated(20));
    QCOMPARE(installStat, 0);
}

void TransfersTest::uploadAllSkipsMissingFile()
{
    Bench bench;
    for (const char *name : { "ap.csv", "preset.csv", "scan.csv" })
        bench.workspace.writeFile(QString("files/") + name, name);
    QVERIFY(bench.connectAndList());
    bench.invoke("on_pushButton_UploadAll_clicked");
    QTRY_VERIFY(nextFileNameUpload.isEmpty() && mode.isEmpty());
    const QStringList lines = bench.logLines();
    const int city = lines.indexOf("city.csv");
    QVERIFY(city > 0);
    QCOMPARE(lines.at(city + 1), QString("...skipped"));
    QCOMPARE(lines.at(city + 2), QString("preset.csv"));
    QVERIFY(bench.statusHistory.contains("file no exist: files/city.csv"));
    QCOMPARE(bench.receiver.files().keys(), QStringList({ "ap.csv", "eng.lng", "preset.csv", "scan.csv" }));
}

QTEST_MAIN(TransfersTest)
#include "tst_transfers.moc"
