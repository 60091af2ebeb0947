// The window's hidden file manager over the simulated receiver: its slots,
// their refusals and boxes, the storage view and the batches that chain
// single transfers. What the link itself decides is tested in tst_link.

#include "testkit.h"

#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QtTest>

namespace {
const QByteArray &tag = frameTagBytes;

bool sameIcon(const QIcon &icon, const QString &path)
{
    return icon.pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32)
        == QImage(path).convertToFormat(QImage::Format_ARGB32);
}

// A window connected to a receiver holding these files, its listing shown.
std::unique_ptr<Rig> connectedRig(const QStringList &files = { "index.htm", "readme", "scan.csv" })
{
    auto rig = std::make_unique<Rig>();
    for (const QString &name : files)
        rig->receiver.putFile(name, name.toUtf8());
    if (!rig->connectAndList())
        qFatal("no listing");
    rig->receiver.clearLog();
    rig->statusHistory.clear();
    return rig;
}
}

class FileManagerTest : public QObject
{
    Q_OBJECT

private slots:
    void connectShowsTheReceiver();
    void connectAndDisconnectResetTheView();
    void unpluggedWhileIdle();
    void busy_data();
    void busy();
    void nothingSelected_data();
    void nothingSelected();
    void downloadThroughDialog();
    void downloadAllSavesEveryRow();
    void downloadAllEndsOnARestart_data();
    void downloadAllEndsOnARestart();
    void uploadThroughDialog();
    void uploadRefusals();
    void uploadAllSendsDataAndLanguage();
    void uploadAllSkipsMissingFile();
    void removeConfirmed();
    void removeCancelled();
    void format_data();
    void format();
    void executeWithoutExtension();
};

void FileManagerTest::connectShowsTheReceiver()
{
    auto rig = connectedRig({ "scan.csv", "index.htm", "Photo.JPG" });
    QCOMPARE(rig->logLines().last(), QString("...connected to device"));
    QCOMPARE(rig->window->findChild<QPushButton *>("pushButton_3")->text(), QString("disconnect"));
    QCOMPARE(rig->tableNames(), QStringList({ "Photo.JPG", "index.htm", "scan.csv" }));
    QCOMPARE(rig->table()->item(2, 2)->text(), QString("8"));
    QCOMPARE(rig->table()->horizontalHeaderItem(1)->text(), QString("Name"));
    QCOMPARE(rig->table()->horizontalHeaderItem(2)->text(), QString("Size, Bytes"));
    QVERIFY(rig->table()->verticalHeader()->isHidden());
    QVERIFY(rig->table()->item(0, 0)->text().isEmpty());
    QVERIFY(sameIcon(rig->table()->item(0, 0)->icon(), ":/new/icons/picture.png"));
    QVERIFY(sameIcon(rig->table()->item(2, 0)->icon(), ":/new/icons/unknown.png"));
    QCOMPARE(rig->window->findChild<QLabel *>("totalMemory")->text(), QString("1048576"));
    QCOMPARE(rig->window->findChild<QLabel *>("availableMemory")->text(), QString("1048550"));
    QCOMPARE(rig->window->findChild<QProgressBar *>("memory")->value(), 26);
}

// Connect and Disconnect both begin by clearing the view, even a Connect
// whose port can't be opened.
void FileManagerTest::connectAndDisconnectResetTheView()
{
    auto rig = connectedRig();
    rig->invoke("on_pushButton_3_clicked");
    QVERIFY(!serial.isOpen());
    QCOMPARE(rig->logLines().last(), QString("...disconnected"));
    QCOMPARE(rig->window->findChild<QPushButton *>("pushButton_3")->text(), QString("connect"));
    QCOMPARE(rig->table()->rowCount(), 0);
    QCOMPARE(rig->window->findChild<QLabel *>("totalMemory")->text(), QString("0"));

    rig->table()->setRowCount(2);
    rig->window->findChild<QProgressBar *>("memory")->setValue(50);
    const QString logBefore = rig->logPane()->toPlainText();
    rig->portBox()->clear();
    rig->invoke("on_pushButton_3_clicked");
    QCOMPARE(rig->status(), QString("ESP32: can't use the port"));
    QCOMPARE(rig->logPane()->toPlainText(), logBefore);
    QVERIFY(!rig->table()->item(0, 1));
    QCOMPARE(rig->window->findChild<QProgressBar *>("memory")->value(), 0);
}

void FileManagerTest::unpluggedWhileIdle()
{
    auto rig = connectedRig();
    rig->receiver.unplug();
    QTRY_COMPARE(rig->status(), QString("ESP32: connection lost"));
    QCOMPARE(rig->logLines().filter("...connection lost"), QStringList{ "...connection lost" });
    QCOMPARE(rig->table()->rowCount(), 0);
    QVERIFY(rig->plugReceiverIn());
    QVERIFY(rig->connectAndList());
    QCOMPARE(rig->tableNames(), QStringList({ "index.htm", "readme", "scan.csv" }));
}

void FileManagerTest::busy_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("message");
    QTest::newRow("download") << "on_pushButton_clicked" << "device is busy now: LIST";
    QTest::newRow("upload") << "on_pushButton_2_clicked" << "device is busy now: LIST";
    QTest::newRow("remove") << "on_pushButton_4_clicked" << "device is busy now";
    QTest::newRow("format") << "on_pushButton_5_clicked" << "device is busy now";
    QTest::newRow("execute") << "on_pushButton_7_clicked" << "device is busy now";
    QTest::newRow("reboot") << "on_pushButton_8_clicked" << "device is busy now";
}

void FileManagerTest::busy()
{
    QFETCH(QString, slot);
    QFETCH(QString, message);
    Rig rig;
    rig.receiver.faults().silentCommands = { 'L' };
    rig.invoke("on_pushButton_3_clicked");
    QTRY_COMPARE(requestLetters(rig.receiver), QString("ML"));
    rig.invoke(qPrintable(slot));
    QCOMPARE(rig.boxes.texts, QStringList{ message });
    QCOMPARE(rig.boxes.icons.first(), QMessageBox::Warning);
    QCOMPARE(rig.status(), QString());
    QCOMPARE(requestLetters(rig.receiver), QString("ML"));
}

void FileManagerTest::nothingSelected_data()
{
    QTest::addColumn<QString>("slot");
    QTest::newRow("download") << "on_pushButton_clicked";
    QTest::newRow("remove") << "on_pushButton_4_clicked";
    QTest::newRow("execute") << "on_pushButton_7_clicked";
}

// A current row without a selected one is no selection either.
void FileManagerTest::nothingSelected()
{
    QFETCH(QString, slot);
    auto rig = connectedRig();
    rig->invoke(qPrintable(slot));
    rig->table()->setCurrentCell(1, 1);
    rig->table()->clearSelection();
    rig->invoke(qPrintable(slot));
    QCOMPARE(rig->boxes.texts, QStringList({ "select file, please", "select file, please" }));
    QCOMPARE(rig->status(), QString());
    QVERIFY(rig->receiver.received().isEmpty());
}

void FileManagerTest::downloadThroughDialog()
{
    auto rig = connectedRig({ "ap.csv" });
    rig->selectRow(0);
    rig->invoke("on_pushButton_clicked");
    QCOMPARE(rig->status(), QString("PC: empty downloading path"));
    QVERIFY(rig->receiver.received().isEmpty());

    QDir().mkpath("chosen");
    rig->statusHistory.clear();
    rig->downloadRow(0, QDir("chosen").absolutePath());
    QTRY_COMPARE(rig->status(), QString("downloading complete"));
    QCOMPARE(rig->receiver.received(), tag + "D" + hex("00000007") + "/ap.csv");
    QCOMPARE(rig->workspace.readFile("chosen/ap.csv"), QByteArray("ap.csv"));
    QCOMPARE(rig->statusHistory.mid(0, 2), QStringList({ QDir("chosen").absolutePath() + "/ap.csv", "downloading, please wait..." }));
}

void FileManagerTest::downloadAllSavesEveryRow()
{
    Rig rig;
    for (const char *name : { "ap.csv", "city.csv" })
        rig.receiver.putFile(name, name);
    rig.receiver.putFile("b.txt", QByteArray());
    QVERIFY(rig.connectAndList());
    QDir().mkdir("files");
    rig.receiver.clearLog();
    rig.invoke("on_pushButton_DownloadAll_clicked");
    QTRY_COMPARE(currentRowDownloadAll, -1);
    QTRY_VERIFY(rig.link()->isIdle());

    QStringList requested;
    for (const ReceivedRequest &request : rig.receiver.requests())
        requested << request.path;
    QCOMPARE(requested, QStringList({ "/ap.csv", "/b.txt", "/city.csv" }));
    QCOMPARE(savedFiles(), QStringList({ "ap.csv", "city.csv" }));
    QCOMPARE(rig.workspace.readFile("files/city.csv"), QByteArray("city.csv"));
    QCOMPARE(rig.logLines().mid(rig.logLines().size() - 4), QStringList({ "ap.csv", "b.txt", "...skipped", "city.csv" }));
}

// A receiver that restarts in the middle of a file ends the batch, said on
// the status bar, and the next batch runs.
void FileManagerTest::downloadAllEndsOnARestart_data()
{
    QTest::addColumn<int>("bytesBefore");
    QTest::newRow("boot text in front of the reply") << 0;
    QTest::newRow("boot text inside the size") << 3;
}

void FileManagerTest::downloadAllEndsOnARestart()
{
    QFETCH(int, bytesBefore);
    auto rig = connectedRig({ "ap.csv", "city.csv" });
    rig->receiver.faults().bootText = ReceiverSimulator::esp32BootText();
    rig->receiver.faults().resetDuring = { 'D', "/ap.csv", bytesBefore };
    QDir().mkdir("files");
    rig->invoke("on_pushButton_DownloadAll_clicked");
    QTRY_COMPARE(rig->status(), QString("ESP32: restarted"));
    QCOMPARE(currentRowDownloadAll, -1);
    QVERIFY(rig->link()->isIdle());
    QVERIFY(savedFiles().isEmpty());
    rig->invoke("on_pushButton_DownloadAll_clicked");
    QTRY_COMPARE(savedFiles(), QStringList({ "ap.csv", "city.csv" }));
}

void FileManagerTest::uploadThroughDialog()
{
    auto rig = connectedRig({});
    rig->workspace.writeFile(QString::fromUtf8("pc/my città (2).csv"), QByteArray(70, 'c'));
    rig->boxes.dialogPath = QDir("pc").absoluteFilePath(QString::fromUtf8("my città (2).csv"));
    rig->invoke("on_pushButton_2_clicked");
    QTRY_COMPARE(rig->tableNames(), QStringList{ "mycitt(2).csv" });
    QCOMPARE(rig->table()->item(0, 2)->text(), QString("70"));
    QVERIFY(requestLetters(rig->receiver).endsWith("uML"));
    QVERIFY(rig->statusHistory.contains("uploading complete"));
}

void FileManagerTest::uploadRefusals()
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
    QCOMPARE(requestLetters(rig.receiver).left(1), QString("U"));
    QVERIFY(noModalLeft());
}

void FileManagerTest::uploadAllSendsDataAndLanguage()
{
    Rig rig;
    for (const QString &name : dataFiles)
        rig.workspace.writeFile("files/" + name, name.toUtf8().repeated(20));
    rig.languageBox()->setCurrentText(QString::fromUtf8("Русский"));
    QVERIFY(rig.connectAndList());
    rig.receiver.clearLog();
    rig.invoke("on_pushButton_UploadAll_clicked");
    QTRY_VERIFY(nextFileNameUpload.isEmpty() && rig.link()->isIdle());

    QStringList uploaded;
    for (const ReceivedRequest &request : rig.receiver.requests()) {
        if (!request.path.isEmpty())
            uploaded << request.path;
    }
    QCOMPARE(uploaded, QStringList({ "/ap.csv", "/city.csv", "/preset.csv", "/scan.csv", "/rus.lng" }));
    QCOMPARE(requestLetters(rig.receiver).count("uML"), 5);
    QCOMPARE(rig.receiver.files().value("rus.lng"), rig.workspace.readFile("firmware/languages/rus.lng"));
    QCOMPARE(rig.receiver.files().value("preset.csv"), QByteArray("preset.csv").repeated(20));
}

void FileManagerTest::uploadAllSkipsMissingFile()
{
    Rig rig;
    for (const char *name : { "ap.csv", "preset.csv", "scan.csv" })
        rig.workspace.writeFile(QString("files/") + name, name);
    QVERIFY(rig.connectAndList());
    rig.invoke("on_pushButton_UploadAll_clicked");
    QTRY_VERIFY(nextFileNameUpload.isEmpty() && rig.link()->isIdle());
    const QStringList lines = rig.logLines();
    const int city = lines.indexOf("city.csv");
    QVERIFY(city > 0);
    QCOMPARE(lines.mid(city, 3), QStringList({ "city.csv", "...skipped", "preset.csv" }));
    QVERIFY(rig.statusHistory.contains("file no exist: files/city.csv"));
    QCOMPARE(rig.receiver.files().keys(), QStringList({ "ap.csv", "eng.lng", "preset.csv", "scan.csv" }));
}

void FileManagerTest::removeConfirmed()
{
    auto rig = connectedRig();
    rig->boxes.answer = QMessageBox::Yes;
    rig->selectRow(2);
    rig->invoke("on_pushButton_4_clicked");
    QCOMPARE(rig->boxes.texts, QStringList{ "Do you want to delete scan.csv?" });
    QCOMPARE(rig->boxes.icons.first(), QMessageBox::Warning);
    QTRY_COMPARE(rig->tableNames(), QStringList({ "index.htm", "readme" }));
    QCOMPARE(rig->receiver.requests().first().raw, tag + "R" + hex("00000009") + "/scan.csv");
    QCOMPARE(requestLetters(rig->receiver), QString("RML"));
    QVERIFY(rig->statusHistory.contains("removing complete"));
}

void FileManagerTest::removeCancelled()
{
    auto rig = connectedRig();
    rig->boxes.answer = QMessageBox::Cancel;
    rig->selectRow(0);
    rig->statusBar()->showMessage("before");
    rig->invoke("on_pushButton_4_clicked");
    QCOMPARE(rig->boxes.texts.size(), 1);
    QCOMPARE(rig->status(), QString());
    // A request sent now arrives behind a remove that was sent, if one was.
    rig->invoke("on_pushButton_8_clicked");
    QTRY_COMPARE(requestLetters(rig->receiver), QString("Q"));
}

void FileManagerTest::format_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("confirmed") << true;
    QTest::newRow("cancelled") << false;
}

// The question stands over "formatting , please wait..." on the status bar.
void FileManagerTest::format()
{
    QFETCH(bool, yes);
    auto rig = connectedRig();
    rig->boxes.answer = yes ? QMessageBox::Yes : QMessageBox::Cancel;
    rig->invoke("on_pushButton_5_clicked");
    QCOMPARE(rig->boxes.texts, QStringList{ "Please, confirm to format SPIFFS" });
    QCOMPARE(rig->boxes.statusWhileOpen, QStringList{ "formatting , please wait..." });
    if (!yes) {
        QCOMPARE(rig->status(), QString());
        QCOMPARE(rig->receiver.files().size(), 3);
        return;
    }
    QTRY_COMPARE(requestLetters(rig->receiver), QString("EML"));
    QTRY_COMPARE(rig->table()->rowCount(), 0);
    QVERIFY(rig->statusHistory.contains("file system ESP32 formatted"));
    QVERIFY(rig->receiver.files().isEmpty());
}

void FileManagerTest::executeWithoutExtension()
{
    auto rig = connectedRig();
    rig->selectRow(1);
    rig->invoke("on_pushButton_7_clicked");
    QCOMPARE(rig->boxes.texts, QStringList{ "unsupported file for execution" });
    QCOMPARE(rig->boxes.icons.first(), QMessageBox::Information);
    QVERIFY(rig->receiver.received().isEmpty());
    rig->selectRow(0);
    rig->invoke("on_pushButton_7_clicked");
    QTRY_COMPARE(rig->status(), QString("file opened on ESP32"));
}

QTEST_MAIN(FileManagerTest)
#include "tst_filemanager.moc"
