// Remove, format, execute and reboot, and the refusals every device
// operation shares, over the simulated receiver.

#include "session.h"
#include "testkit.h"

#include <QStatusBar>
#include <QTableWidget>
#include <QtTest>

namespace {
const QByteArray &tag = frameTagBytes;
}

class CommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void notConnected_data();
    void notConnected();
    void busy_data();
    void busy();
    void nothingSelected_data();
    void nothingSelected();
    void removeConfirmed();
    void removeCancelled();
    void removeRefused();
    void removeUnknownReply();
    void formatConfirmed();
    void formatCancelled();
    void executeWithoutExtension();
    void executeReplies_data();
    void executeReplies();
    void executeAfterStaleBytes();
    void removeAfterRestartNoise();
    void rebootWaitsForAnyByte();
};

static Bench *connectedBench(QStringList files = { "index.htm", "readme", "scan.csv" })
{
    auto *bench = new Bench;
    for (const QString &name : files)
        bench->receiver.putFile(name, name.toUtf8());
    if (!bench->connectAndList())
        qFatal("no listing");
    bench->receiver.clearLog();
    bench->statusHistory.clear();
    return bench;
}

void CommandsTest::notConnected_data()
{
    QTest::addColumn<QString>("slot");
    for (const char *slot : { "on_pushButton_clicked", "on_pushButton_2_clicked", "on_pushButton_4_clicked",
                              "on_pushButton_5_clicked", "on_pushButton_7_clicked", "on_pushButton_8_clicked" })
        QTest::newRow(slot) << slot;
}

void CommandsTest::notConnected()
{
    QFETCH(QString, slot);
    Bench bench;
    bench.statusBar()->showMessage("before");
    bench.invoke(qPrintable(slot));
    QCOMPARE(bench.boxes.texts, QStringList{ "connect to device, please" });
    QCOMPARE(bench.boxes.icons.first(), QMessageBox::Information);
    QCOMPARE(bench.status(), QString());
    QVERIFY(mode.isEmpty());
}

void CommandsTest::busy_data()
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

void CommandsTest::busy()
{
    QFETCH(QString, slot);
    QFETCH(QString, message);
    Bench bench;
    bench.receiver.faults().silentCommands = { 'L' };
    bench.invoke("on_pushButton_3_clicked");
    QTRY_COMPARE(mode, QString("LIST"));
    bench.invoke(qPrintable(slot));
    QCOMPARE(bench.boxes.texts, QStringList{ message });
    QCOMPARE(bench.boxes.icons.first(), QMessageBox::Warning);
    QCOMPARE(mode, QString("LIST"));
    QCOMPARE(requestLetters(bench.receiver), QString("ML"));
}

void CommandsTest::nothingSelected_data()
{
    QTest::addColumn<QString>("slot");
    QTest::addColumn<bool>("currentRowOnly");
    QTest::newRow("remove") << "on_pushButton_4_clicked" << false;
    QTest::newRow("execute") << "on_pushButton_7_clicked" << false;
    QTest::newRow("remove, current row without selection") << "on_pushButton_4_clicked" << true;
    QTest::newRow("execute, current row without selection") << "on_pushButton_7_clicked" << true;
}

void CommandsTest::nothingSelected()
{
    QFETCH(QString, slot);
    QFETCH(bool, currentRowOnly);
    std::unique_ptr<Bench> bench(connectedBench());
    if (currentRowOnly) {
        bench->table()->setCurrentCell(1, 1);
        bench->table()->clearSelection();
    }
    bench->invoke(qPrintable(slot));
    QCOMPARE(bench->boxes.texts, QStringList{ "select file, please" });
    QCOMPARE(bench->status(), QString());
    QVERIFY(bench->receiver.received().isEmpty());
}

void CommandsTest::removeConfirmed()
{
    std::unique_ptr<Bench> bench(connectedBench());
    bench->boxes.answer = QMessageBox::Yes;
    bench->selectRow(2);
    bench->invoke("on_pushButton_4_clicked");
    QCOMPARE(bench->boxes.texts, QStringList{ "Do you want to delete scan.csv?" });
    QCOMPARE(bench->boxes.icons.first(), QMessageBox::Warning);
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(bench->receiver.requests().first().raw, tag + "R" + hex("00000009") + "/scan.csv");
    QCOMPARE(requestLetters(bench->receiver), QString("RML"));
    QVERIFY(bench->statusHistory.contains("removing complete"));
    QCOMPARE(bench->tableNames(), QStringList({ "index.htm", "readme" }));
    QVERIFY(!bench->receiver.files().contains("scan.csv"));
}

void CommandsTest::removeCancelled()
{
    std::unique_ptr<Bench> bench(connectedBench());
    bench->boxes.answer = QMessageBox::Cancel;
    bench->selectRow(0);
    bench->statusBar()->showMessage("before");
    bench->invoke("on_pushButton_4_clicked");
    QCOMPARE(bench->boxes.texts.size(), 1);
    QCOMPARE(bench->status(), QString());
    QVERIFY(mode.isEmpty());
    QTest::qWait(100);
    QVERIFY(bench->receiver.received().isEmpty());
}

void CommandsTest::removeRefused()
{
    std::unique_ptr<Bench> bench(connectedBench());
    bench->receiver.faults().refusedRemoves = { "readme" };
    bench->boxes.answer = QMessageBox::Yes;
    bench->selectRow(1);
    bench->invoke("on_pushButton_4_clicked");
    QTRY_COMPARE(bench->status(), QString("ESP32: can't remove the file"));
    QVERIFY(mode.isEmpty());
    QVERIFY(recived.isEmpty());
    QCOMPARE(requestLetters(bench->receiver), QString("R"));
    QCOMPARE(bench->table()->rowCount(), 3);
}

void CommandsTest::removeUnknownReply()
{
    std::unique_ptr<Bench> bench(connectedBench());
    bench->receiver.faults().silentCommands = { 'R' };
    bench->boxes.answer = QMessageBox::Yes;
    bench->selectRow(1);
    bench->invoke("on_pushButton_4_clicked");
    QTRY_COMPARE(requestLetters(bench->receiver), QString("R"));
    QSignalSpy arrivals(&serial, &QSerialPort::readyRead);
    bench->receiver.sendRaw("?");
    QTRY_COMPARE(arrivals.count(), 1);
    QVERIFY(recived.isEmpty());
    QCOMPARE(mode, QString("REMOVE"));
    bench->receiver.sendRaw("??");
    QTRY_COMPARE(recived, QByteArray("??"));
    QCOMPARE(mode, QString("REMOVE"));
}

void CommandsTest::formatConfirmed()
{
    std::unique_ptr<Bench> bench(connectedBench());
    bench->boxes.answer = QMessageBox::Yes;
    bench->invoke("on_pushButton_5_clicked");
    QCOMPARE(bench->boxes.texts, QStringList{ "Please, confirm to format SPIFFS" });
    QCOMPARE(bench->boxes.statusWhileOpen, QStringList{ "formatting , please wait..." });
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(bench->receiver.requests().first().raw, tag + "E");
    QVERIFY(bench->statusHistory.contains("file system ESP32 formatted"));
    QCOMPARE(bench->table()->rowCount(), 0);
    QVERIFY(bench->receiver.files().isEmpty());
}

void CommandsTest::formatCancelled()
{
    std::unique_ptr<Bench> bench(connectedBench());
    bench->boxes.answer = QMessageBox::Cancel;
    bench->invoke("on_pushButton_5_clicked");
    QCOMPARE(bench->boxes.statusWhileOpen, QStringList{ "formatting , please wait..." });
    QCOMPARE(bench->status(), QString());
    QVERIFY(mode.isEmpty());
    QCOMPARE(bench->receiver.files().size(), 3);
}

void CommandsTest::executeWithoutExtension()
{
    std::unique_ptr<Bench> bench(connectedBench());
    bench->selectRow(1);
    bench->invoke("on_pushButton_7_clicked");
    QCOMPARE(bench->boxes.texts, QStringList{ "unsupported file for execution" });
    QCOMPARE(bench->boxes.icons.first(), QMessageBox::Information);
    QVERIFY(mode.isEmpty());
    QVERIFY(bench->receiver.received().isEmpty());
}

void CommandsTest::executeReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("status");
    QTest::newRow("opened") << QByteArray("X") << "file opened on ESP32";
    QTest::newRow("unsupported") << QByteArray("x") << "ESP32: file unsupported";
    QTest::newRow("two bytes at once") << QByteArray("Xx") << "";
    QTest::newRow("other byte") << QByteArray("?") << "";
}

void CommandsTest::executeReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, status);
    std::unique_ptr<Bench> bench(connectedBench());
    bench->receiver.faults().silentCommands = { 'X' };
    bench->selectRow(0);
    bench->invoke("on_pushButton_7_clicked");
    QTRY_COMPARE(requestLetters(bench->receiver), QString("X"));
    QCOMPARE(bench->receiver.requests().first().raw, tag + "X" + hex("0000000a") + "/index.htm");
    bench->receiver.sendRaw(reply);
    QTRY_VERIFY(mode.isEmpty());
    QVERIFY(recived.isEmpty());
    QCOMPARE(bench->status(), status);
}

void CommandsTest::executeAfterStaleBytes()
{
    std::unique_ptr<Bench> bench(connectedBench());
    bench->receiver.sendRaw("abc");
    QTRY_COMPARE(recived, QByteArray("abc"));
    bench->selectRow(0);
    bench->invoke("on_pushButton_7_clicked");
    QTRY_COMPARE(bench->status(), QString("file opened on ESP32"));
    QVERIFY(mode.isEmpty());
}

void CommandsTest::removeAfterRestartNoise()
{
    std::unique_ptr<Bench> bench(connectedBench());
    bench->invoke("on_pushButton_8_clicked");
    QTRY_COMPARE(requestLetters(bench->receiver), QString("Q"));
    // The first piece of the restart output ends the wait; the rest stays behind.
    bench->receiver.sendRaw("ets ");
    QTRY_VERIFY(mode.isEmpty());
    bench->receiver.sendRaw("Jun  8 2016\r\n");
    QTRY_COMPARE(recived.size(), 13);
    bench->boxes.answer = QMessageBox::Yes;
    bench->selectRow(2);
    bench->invoke("on_pushButton_4_clicked");
    QTRY_VERIFY(mode.isEmpty());
    QVERIFY(bench->statusHistory.contains("removing complete"));
    QCOMPARE(bench->tableNames(), QStringList({ "index.htm", "readme" }));
}

void CommandsTest::rebootWaitsForAnyByte()
{
    std::unique_ptr<Bench> bench(connectedBench());
    bench->invoke("on_pushButton_8_clicked");
    QCOMPARE(bench->status(), QString("ESP32 restarted"));
    QTRY_COMPARE(bench->receiver.received(), tag + "Q");
    bench->invoke("on_pushButton_5_clicked");
    QCOMPARE(bench->boxes.texts, QStringList{ "device is busy now" });
    bench->receiver.sendRaw(QByteArray(1, char(0xff)));
    QTRY_VERIFY(mode.isEmpty());
    QVERIFY(recived.isEmpty());
}

QTEST_MAIN(CommandsTest)
#include "tst_commands.moc"
