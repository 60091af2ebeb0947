// Remove, format, execute and reboot, and the refusals every device
// operation shares, over the simulated receiver.

#include "app/session.h"
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

static Rig *connectedBench(QStringList files = { "index.htm", "readme", "scan.csv" })
{
    auto *rig = new Rig;
    for (const QString &name : files)
        rig->receiver.putFile(name, name.toUtf8());
    if (!rig->connectAndList())
        qFatal("no listing");
    rig->receiver.clearLog();
    rig->statusHistory.clear();
    return rig;
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
    Rig rig;
    rig.statusBar()->showMessage("before");
    rig.invoke(qPrintable(slot));
    QCOMPARE(rig.boxes.texts, QStringList{ "connect to device, please" });
    QCOMPARE(rig.boxes.icons.first(), QMessageBox::Information);
    QCOMPARE(rig.status(), QString());
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
    Rig rig;
    rig.receiver.faults().silentCommands = { 'L' };
    rig.invoke("on_pushButton_3_clicked");
    QTRY_COMPARE(mode, QString("LIST"));
    rig.invoke(qPrintable(slot));
    QCOMPARE(rig.boxes.texts, QStringList{ message });
    QCOMPARE(rig.boxes.icons.first(), QMessageBox::Warning);
    QCOMPARE(mode, QString("LIST"));
    QCOMPARE(requestLetters(rig.receiver), QString("ML"));
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
    std::unique_ptr<Rig> rig(connectedBench());
    if (currentRowOnly) {
        rig->table()->setCurrentCell(1, 1);
        rig->table()->clearSelection();
    }
    rig->invoke(qPrintable(slot));
    QCOMPARE(rig->boxes.texts, QStringList{ "select file, please" });
    QCOMPARE(rig->status(), QString());
    QVERIFY(rig->receiver.received().isEmpty());
}

void CommandsTest::removeConfirmed()
{
    std::unique_ptr<Rig> rig(connectedBench());
    rig->boxes.answer = QMessageBox::Yes;
    rig->selectRow(2);
    rig->invoke("on_pushButton_4_clicked");
    QCOMPARE(rig->boxes.texts, QStringList{ "Do you want to delete scan.csv?" });
    QCOMPARE(rig->boxes.icons.first(), QMessageBox::Warning);
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(rig->receiver.requests().first().raw, tag + "R" + hex("00000009") + "/scan.csv");
    QCOMPARE(requestLetters(rig->receiver), QString("RML"));
    QVERIFY(rig->statusHistory.contains("removing complete"));
    QCOMPARE(rig->tableNames(), QStringList({ "index.htm", "readme" }));
    QVERIFY(!rig->receiver.files().contains("scan.csv"));
}

void CommandsTest::removeCancelled()
{
    std::unique_ptr<Rig> rig(connectedBench());
    rig->boxes.answer = QMessageBox::Cancel;
    rig->selectRow(0);
    rig->statusBar()->showMessage("before");
    rig->invoke("on_pushButton_4_clicked");
    QCOMPARE(rig->boxes.texts.size(), 1);
    QCOMPARE(rig->status(), QString());
    QVERIFY(mode.isEmpty());
    // A request sent now arrives behind a remove that was sent, if one was.
    rig->invoke("on_pushButton_8_clicked");
    QTRY_COMPARE(requestLetters(rig->receiver), QString("Q"));
}

void CommandsTest::removeRefused()
{
    std::unique_ptr<Rig> rig(connectedBench());
    rig->receiver.faults().refusedRemoves = { "readme" };
    rig->boxes.answer = QMessageBox::Yes;
    rig->selectRow(1);
    rig->invoke("on_pushButton_4_clicked");
    QTRY_COMPARE(rig->status(), QString("ESP32: can't remove the file"));
    QVERIFY(mode.isEmpty());
    QVERIFY(recived.isEmpty());
    QCOMPARE(requestLetters(rig->receiver), QString("R"));
    QCOMPARE(rig->table()->rowCount(), 3);
}

void CommandsTest::removeUnknownReply()
{
    std::unique_ptr<Rig> rig(connectedBench());
    rig->receiver.faults().silentCommands = { 'R' };
    rig->boxes.answer = QMessageBox::Yes;
    rig->selectRow(1);
    rig->invoke("on_pushButton_4_clicked");
    QTRY_COMPARE(requestLetters(rig->receiver), QString("R"));
    QSignalSpy arrivals(&serial, &QSerialPort::readyRead);
    rig->receiver.sendRaw("?");
    QTRY_COMPARE(arrivals.count(), 1);
    QVERIFY(recived.isEmpty());
    QCOMPARE(mode, QString("REMOVE"));
    rig->receiver.sendRaw("??");
    QTRY_COMPARE(recived, QByteArray("??"));
    QCOMPARE(mode, QString("REMOVE"));
}

void CommandsTest::formatConfirmed()
{
    std::unique_ptr<Rig> rig(connectedBench());
    rig->boxes.answer = QMessageBox::Yes;
    rig->invoke("on_pushButton_5_clicked");
    QCOMPARE(rig->boxes.texts, QStringList{ "Please, confirm to format SPIFFS" });
    QCOMPARE(rig->boxes.statusWhileOpen, QStringList{ "formatting , please wait..." });
    QTRY_VERIFY(mode.isEmpty());
    QCOMPARE(rig->receiver.requests().first().raw, tag + "E");
    QVERIFY(rig->statusHistory.contains("file system ESP32 formatted"));
    QCOMPARE(rig->table()->rowCount(), 0);
    QVERIFY(rig->receiver.files().isEmpty());
}

void CommandsTest::formatCancelled()
{
    std::unique_ptr<Rig> rig(connectedBench());
    rig->boxes.answer = QMessageBox::Cancel;
    rig->invoke("on_pushButton_5_clicked");
    QCOMPARE(rig->boxes.statusWhileOpen, QStringList{ "formatting , please wait..." });
    QCOMPARE(rig->status(), QString());
    QVERIFY(mode.isEmpty());
    QCOMPARE(rig->receiver.files().size(), 3);
}

void CommandsTest::executeWithoutExtension()
{
    std::unique_ptr<Rig> rig(connectedBench());
    rig->selectRow(1);
    rig->invoke("on_pushButton_7_clicked");
    QCOMPARE(rig->boxes.texts, QStringList{ "unsupported file for execution" });
    QCOMPARE(rig->boxes.icons.first(), QMessageBox::Information);
    QVERIFY(mode.isEmpty());
    QVERIFY(rig->receiver.received().isEmpty());
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
    std::unique_ptr<Rig> rig(connectedBench());
    rig->receiver.faults().silentCommands = { 'X' };
    rig->selectRow(0);
    rig->invoke("on_pushButton_7_clicked");
    QTRY_COMPARE(requestLetters(rig->receiver), QString("X"));
    QCOMPARE(rig->receiver.requests().first().raw, tag + "X" + hex("0000000a") + "/index.htm");
    rig->receiver.sendRaw(reply);
    QTRY_VERIFY(mode.isEmpty());
    QVERIFY(recived.isEmpty());
    QCOMPARE(rig->status(), status);
}

void CommandsTest::executeAfterStaleBytes()
{
    std::unique_ptr<Rig> rig(connectedBench());
    rig->receiver.sendRaw("abc");
    QTRY_COMPARE(recived, QByteArray("abc"));
    rig->selectRow(0);
    rig->invoke("on_pushButton_7_clicked");
    QTRY_COMPARE(rig->status(), QString("file opened on ESP32"));
    QVERIFY(mode.isEmpty());
}

void CommandsTest::removeAfterRestartNoise()
{
    std::unique_ptr<Rig> rig(connectedBench());
    rig->invoke("on_pushButton_8_clicked");
    QTRY_COMPARE(requestLetters(rig->receiver), QString("Q"));
    // The first piece of the restart output ends the wait; the rest stays behind.
    rig->receiver.sendRaw("ets ");
    QTRY_VERIFY(mode.isEmpty());
    rig->receiver.sendRaw("Jun  8 2016\r\n");
    QTRY_COMPARE(recived.size(), 13);
    rig->boxes.answer = QMessageBox::Yes;
    rig->selectRow(2);
    rig->invoke("on_pushButton_4_clicked");
    QTRY_VERIFY(mode.isEmpty());
    QVERIFY(rig->statusHistory.contains("removing complete"));
    QCOMPARE(rig->tableNames(), QStringList({ "index.htm", "readme" }));
}

void CommandsTest::rebootWaitsForAnyByte()
{
    std::unique_ptr<Rig> rig(connectedBench());
    rig->invoke("on_pushButton_8_clicked");
    QCOMPARE(rig->status(), QString("ESP32 restarted"));
    QTRY_COMPARE(rig->receiver.received(), tag + "Q");
    rig->invoke("on_pushButton_5_clicked");
    QCOMPARE(rig->boxes.texts, QStringList{ "device is busy now" });
    rig->receiver.sendRaw(QByteArray(1, char(0xff)));
    QTRY_VERIFY(mode.isEmpty());
    QVERIFY(recived.isEmpty());
}

QTEST_MAIN(CommandsTest)
#include "tst_commands.moc"
