// Connection, receive dispatcher and storage listing against the simulated
// receiver on a real pseudo-terminal.

#include "app/session.h"
#include "testkit.h"

#include <QComboBox>
#include <QDir>
#include <QProcess>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTextBrowser>
#include <QtTest>

namespace {
const QByteArray &tag = frameTagBytes;

QByteArray listReplyFor(const QList<QPair<QByteArray, quint32>> &files)
{
    QByteArray body;
    for (const auto &entry : files) {
        QByteArray head(8, '\0');
        head[3] = char(entry.first.size());
        head[4] = char(entry.second >> 24);
        head[5] = char(entry.second >> 16);
        head[6] = char(entry.second >> 8);
        head[7] = char(entry.second);
        body += head + entry.first;
    }
    QByteArray header(4, '\0');
    header[2] = char(body.size() >> 8);
    header[3] = char(body.size());
    return header + body;
}

bool sameIcon(const QIcon &icon, const QString &path)
{
    return icon.pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32)
        == QImage(path).convertToFormat(QImage::Format_ARGB32);
}

}

class LinkTest : public QObject
{
    Q_OBJECT

private slots:
    void connectListsTheReceiver();
    void storageFigures_data();
    void storageFigures();
    void memoryReplyCutAtEveryPosition_data();
    void memoryReplyCutAtEveryPosition();
    void memoryReplyWithExtraBytes();
    void listReplyCutAtEveryPosition_data();
    void listReplyCutAtEveryPosition();
    void listHeaderAndBodyApart();
    void emptyFileSystem();
    void listBodyLongerThanAnnounced();
    void listEntryRunningPastBody();
    void disconnectClearsView();
    void connectDisconnectConnect();
    void unfinishedListingDoesNotSpoilNextLink();
    void failedOpen();
    void rebootDiscardsFirstArrivalOnly();
    void idleBytesStayInBuffer();
    void standaloneSimulatorServesFolder();
};

void LinkTest::connectListsTheReceiver()
{
    Rig rig;
    rig.receiver.putFile("scan.csv", QByteArray(1234, 's'));
    rig.receiver.putFile("index.htm", "<html>");
    rig.receiver.putFile("Photo.JPG", "jpeg");
    QVERIFY(rig.connectAndList());

    QCOMPARE(rig.receiver.received(), tag + "M" + tag + "L");
    QCOMPARE(rig.logLines().last(), QString("...connected to device"));
    QCOMPARE(rig.window->findChild<QPushButton *>("pushButton_3")->text(), QString("disconnect"));
    QCOMPARE(rig.tableNames(), QStringList({ "Photo.JPG", "index.htm", "scan.csv" }));
    QCOMPARE(rig.table()->item(2, 2)->text(), QString("1234"));
    QCOMPARE(rig.table()->horizontalHeaderItem(1)->text(), QString("Name"));
    QCOMPARE(rig.table()->horizontalHeaderItem(2)->text(), QString("Size, Bytes"));
    QVERIFY(rig.table()->verticalHeader()->isHidden());
    QVERIFY(rig.table()->item(0, 0)->text().isEmpty());
    QVERIFY(sameIcon(rig.table()->item(0, 0)->icon(), ":/new/icons/picture.png"));
    QVERIFY(recived.isEmpty());
    QCOMPARE(sizeOfData, quint32(0));
}

void LinkTest::storageFigures_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("total");
    QTest::addColumn<QString>("free");
    QTest::addColumn<int>("barMaximum");
    QTest::addColumn<int>("barValue");
    QTest::newRow("quarter used") << hex("000f4240" "0003d090") << "1000000" << "750000" << 1000000 << 250000;
    QTest::newRow("largest capacity, all used") << hex("01000000" "01000000") << "16777216" << "0" << 16777216 << 16777216;
}

void LinkTest::storageFigures()
{
    QFETCH(QByteArray, reply);
    Rig rig;
    rig.receiver.faults().silentCommands = { 'M', 'L' };
    rig.invoke("on_pushButton_3_clicked");
    QTRY_COMPARE(requestLetters(rig.receiver), QString("M"));
    rig.receiver.sendRaw(reply);
    QTRY_COMPARE(mode, QString("LIST"));
    QTEST(rig.window->findChild<QLabel *>("totalMemory")->text(), "total");
    QTEST(rig.window->findChild<QLabel *>("availableMemory")->text(), "free");
    QTEST(rig.window->findChild<QProgressBar *>("memory")->maximum(), "barMaximum");
    QTEST(rig.window->findChild<QProgressBar *>("memory")->value(), "barValue");
}

void LinkTest::memoryReplyCutAtEveryPosition_data()
{
    QTest::addColumn<int>("cut");
    for (int cut = 1; cut < 8; ++cut)
        QTest::newRow(qPrintable(QString("%1+%2").arg(cut).arg(8 - cut))) << cut;
}

void LinkTest::memoryReplyCutAtEveryPosition()
{
    QFETCH(int, cut);
    Rig rig;
    rig.receiver.faults().silentCommands = { 'M' };
    rig.invoke("on_pushButton_3_clicked");
    QTRY_COMPARE(requestLetters(rig.receiver), QString("M"));
    const QByteArray reply = hex("00100000" "00000400");
    rig.receiver.sendRaw(reply.left(cut));
    QTRY_COMPARE(recived.size(), cut);
    QCOMPARE(mode, QString("MEMORY"));
    rig.receiver.sendRaw(reply.mid(cut));
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(requestLetters(rig.receiver), QString("ML"));
    QCOMPARE(totalMemory, quint32(0x100000));
    QCOMPARE(usedMemory, quint32(0x400));
}

void LinkTest::memoryReplyWithExtraBytes()
{
    Rig rig;
    rig.receiver.faults().silentCommands = { 'M', 'L' };
    rig.invoke("on_pushButton_3_clicked");
    QTRY_COMPARE(requestLetters(rig.receiver), QString("M"));
    // Figures with bytes beside them are noise: no listing follows them.
    rig.receiver.sendRaw(hex("00001000" "00000010" "abcd"));
    QTRY_COMPARE(recived.size(), 9);
    QCOMPARE(mode, QString("MEMORY"));
    QCOMPARE(requestLetters(rig.receiver), QString("M"));
    QCOMPARE(totalMemory, quint32(0));
}

void LinkTest::listReplyCutAtEveryPosition_data()
{
    QTest::addColumn<int>("cut");
    const int length = listReplyFor({ { "ap.csv", 16 }, { "x.txt", 5 } }).size();
    for (int cut = 1; cut < length; ++cut)
        QTest::newRow(qPrintable(QString("at %1").arg(cut))) << cut;
}

void LinkTest::listReplyCutAtEveryPosition()
{
    QFETCH(int, cut);
    Rig rig;
    rig.receiver.putFile("ap.csv", QByteArray(16, 'a'));
    rig.receiver.putFile("x.txt", "12345");
    rig.receiver.faults().silentCommands = { 'L' };
    rig.invoke("on_pushButton_3_clicked");
    QTRY_COMPARE(requestLetters(rig.receiver), QString("ML"));
    const QByteArray reply = listReplyFor({ { "ap.csv", 16 }, { "x.txt", 5 } });
    rig.receiver.sendRaw(reply.left(cut));
    QTRY_COMPARE(recived.size() + (sizeOfData ? 4 : 0), cut);
    QCOMPARE(mode, QString("LIST"));
    QCOMPARE(rig.table()->rowCount(), 0);
    rig.receiver.sendRaw(reply.mid(cut));
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(rig.tableNames(), QStringList({ "ap.csv", "x.txt" }));
    QCOMPARE(rig.table()->item(1, 2)->text(), QString("5"));
}

void LinkTest::listHeaderAndBodyApart()
{
    Rig rig;
    rig.receiver.putFile("scan.csv", QByteArray(1234, 's'));
    QVERIFY(rig.connectAndList());
    QCOMPARE(rig.table()->rowCount(), 1);

    // A refresh: the table empties when the header arrives, fills with the last body byte.
    rig.receiver.faults().silentCommands = { 'L' };
    mode = "MEMORY";
    serial.write(tag + "M");
    QTRY_COMPARE(mode, QString("LIST"));
    QCOMPARE(rig.table()->rowCount(), 1);
    const QByteArray reply = hex("00000010" "00000008" "000004d2") + "scan.csv";
    rig.receiver.sendRaw(reply.left(4));
    QTRY_COMPARE(sizeOfData, quint32(16));
    QCOMPARE(rig.table()->rowCount(), 0);
    rig.receiver.sendRaw(reply.mid(4, 15));
    QTRY_COMPARE(recived.size(), 15);
    QCOMPARE(rig.table()->rowCount(), 0);
    rig.receiver.sendRaw(reply.right(1));
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(rig.tableNames(), QStringList{ "scan.csv" });
    QCOMPARE(rig.table()->item(0, 2)->text(), QString("1234"));
    QVERIFY(sameIcon(rig.table()->item(0, 0)->icon(), ":/new/icons/unknown.png"));
}

void LinkTest::emptyFileSystem()
{
    Rig rig;
    QVERIFY(rig.connectAndList());
    QCOMPARE(rig.table()->rowCount(), 0);
    QVERIFY(!rig.table()->horizontalHeaderItem(1));
    QVERIFY(recived.isEmpty());
    QCOMPARE(sizeOfData, quint32(0));
}

void LinkTest::listBodyLongerThanAnnounced()
{
    Rig rig;
    // Announces 14 bytes (one entry) but sends a second entry behind it.
    rig.receiver.faults().listReplyOverride = hex("0000000e" "0000000600000010") + "ap.csv"
                                               + hex("0000000500000001") + "b.txt";
    QVERIFY(rig.connectAndList());
    QCOMPARE(rig.tableNames(), QStringList{ "ap.csv" });
    QVERIFY(recived.isEmpty());
}

void LinkTest::listEntryRunningPastBody()
{
    Rig rig;
    rig.receiver.faults().listReplyOverride = hex("00000018" "0000000600000010") + "ap.csv"
                                               + hex("000000ff00000001") + "bb";
    QVERIFY(rig.connectAndList());
    QCOMPARE(rig.tableNames(), QStringList{ "ap.csv" });
    QCOMPARE(sizeOfData, quint32(0));
}

void LinkTest::disconnectClearsView()
{
    Rig rig;
    rig.receiver.putFile("ap.csv", "1");
    QVERIFY(rig.connectAndList());
    rig.invoke("on_pushButton_3_clicked");
    QVERIFY(!connected);
    QVERIFY(!serial.isOpen());
    QCOMPARE(rig.table()->rowCount(), 0);
    QCOMPARE(rig.logLines().last(), QString("...disconnected"));
    QCOMPARE(rig.window->findChild<QPushButton *>("pushButton_3")->text(), QString("connect"));
    QCOMPARE(rig.window->findChild<QLabel *>("totalMemory")->text(), QString("0"));
    QCOMPARE(rig.window->findChild<QProgressBar *>("memory")->value(), 0);
}

void LinkTest::connectDisconnectConnect()
{
    Rig rig;
    rig.receiver.putFile("ap.csv", "12");
    QVERIFY(rig.connectAndList());
    rig.invoke("on_pushButton_3_clicked");
    QVERIFY(rig.connectAndList());
    QCOMPARE(requestLetters(rig.receiver), QString("MLML"));
    QCOMPARE(rig.tableNames(), QStringList{ "ap.csv" });

    // Each arrival reaches the handler once: a download of two bytes in two
    // pieces is taken once, with the second piece completing it.
    rig.receiver.faults().silentCommands = { 'D' };
    rig.selectRow(0);
    rig.boxes.dialogPath = rig.workspace.path();
    rig.invoke("on_pushButton_clicked");
    QTRY_COMPARE(requestLetters(rig.receiver), QString("MLMLD"));
    rig.receiver.sendRaw(hex("00000002") + "x");
    QTRY_COMPARE(recived, QByteArray("x"));
    rig.receiver.sendRaw("y");
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(rig.workspace.readFile("ap.csv"), QByteArray("xy"));
}

void LinkTest::unfinishedListingDoesNotSpoilNextLink()
{
    Rig rig;
    rig.receiver.putFile("ap.csv", "1");
    rig.receiver.faults().listReplyOverride = hex("00000040") + "partial";
    rig.invoke("on_pushButton_3_clicked");
    QTRY_COMPARE(sizeOfData, quint32(0x40));
    rig.invoke("on_pushButton_3_clicked");
    rig.receiver.faults().listReplyOverride.clear();
    QVERIFY(rig.connectAndList());
    QCOMPARE(rig.tableNames(), QStringList{ "ap.csv" });
}

void LinkTest::failedOpen()
{
    Rig rig;
    rig.receiver.putFile("ap.csv", "1");
    QVERIFY(rig.connectAndList());
    rig.invoke("on_pushButton_3_clicked");
    // Leave figures and rows behind, as a previous link would.
    rig.table()->setRowCount(2);
    rig.window->findChild<QLabel *>("totalMemory")->setText("99");
    rig.window->findChild<QProgressBar *>("memory")->setValue(50);
    mode = "DOWNLOAD";
    const QString logBefore = rig.logPane()->toPlainText();

    rig.portBox()->clear();
    rig.portBox()->addItem("/dev/veltra-no-such-port");
    rig.invoke("on_pushButton_3_clicked");
    QCOMPARE(rig.status(), QString("ESP32: can't use the port"));
    QVERIFY(!connected);
    QCOMPARE(mode, QString("DOWNLOAD"));
    QCOMPARE(rig.logPane()->toPlainText(), logBefore);
    QCOMPARE(rig.window->findChild<QPushButton *>("pushButton_3")->text(), QString("connect"));
    QCOMPARE(rig.table()->columnCount(), 3);
    QVERIFY(!rig.table()->item(0, 1));
    QCOMPARE(rig.window->findChild<QLabel *>("totalMemory")->text(), QString("0"));
    QCOMPARE(rig.window->findChild<QProgressBar *>("memory")->value(), 0);

    rig.portBox()->clear();
    rig.invoke("on_pushButton_3_clicked");
    QCOMPARE(rig.status(), QString("ESP32: can't use the port"));
}

void LinkTest::rebootDiscardsFirstArrivalOnly()
{
    Rig rig;
    QVERIFY(rig.connectAndList());
    rig.invoke("on_pushButton_8_clicked");
    QCOMPARE(rig.status(), QString("ESP32 restarted"));
    QCOMPARE(mode, QString("REBOOT"));
    QTRY_VERIFY(rig.receiver.received().endsWith(tag + "Q"));
    rig.receiver.sendRaw(QByteArray(20, 'n'));
    QTRY_VERIFY(mode.isEmpty());
    QVERIFY(recived.isEmpty());
    rig.receiver.sendRaw("late");
    QTRY_COMPARE(recived, QByteArray("late"));
    QVERIFY(mode.isEmpty());
}

void LinkTest::idleBytesStayInBuffer()
{
    Rig rig;
    QVERIFY(rig.connectAndList());
    rig.receiver.sendRaw("abc");
    QTRY_COMPARE(recived, QByteArray("abc"));
    rig.receiver.sendRaw(QByteArray(1, char(0xff)));
    QTRY_COMPARE(recived.size(), 4);
    QVERIFY(mode.isEmpty());
}

void LinkTest::standaloneSimulatorServesFolder()
{
    Rig rig;
    rig.workspace.writeFile("receiver/ap.csv", "freq,name\n");
    QProcess simulator;
    simulator.start(RECEIVER_SIM, { "receiver" });
    QVERIFY(simulator.waitForReadyRead(10000));
    const QString port = QString::fromLocal8Bit(simulator.readLine()).trimmed();
    QVERIFY(port.startsWith("/dev/"));
    rig.portBox()->addItem(port);
    rig.portBox()->setCurrentText(port);
    QVERIFY(rig.connectAndList());
    QCOMPARE(rig.tableNames(), QStringList{ "ap.csv" });

    // What the installer sends lands in the folder, one file per receiver file.
    rig.workspace.writeFile("pc/city.csv", "Praha,50.08,14.43\n");
    rig.boxes.dialogPath = QDir("pc").absoluteFilePath("city.csv");
    rig.invoke("on_pushButton_2_clicked");
    QTRY_COMPARE(rig.tableNames(), QStringList({ "ap.csv", "city.csv" }));
    QCOMPARE(rig.workspace.readFile("receiver/city.csv"), QByteArray("Praha,50.08,14.43\n"));

    simulator.terminate();
    QVERIFY(simulator.waitForFinished(10000));
    QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
}

QTEST_MAIN(LinkTest)
#include "tst_link.moc"
