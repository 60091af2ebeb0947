// The receiver's link and the file exchanges on a real pseudo-terminal
// served by the simulated receiver, without a window: requests in, signals
// out.

#include "app/session.h"
#include "device/frames.h"
#include "device/receiverlink.h"
#include "installer/installationrunner.h"
#include "receiversim/receiversimulator.h"
#include "storage/download.h"
#include "storage/listing.h"
#include "storage/upload.h"
#include "workspace.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

namespace {
const QByteArray &tag = frameTagBytes;

// The link and its exchanges on a simulated receiver that answers nothing
// by itself unless asked to; every signal is written down in words.
struct Bench
{
    Bench()
    {
        resetSession();
        if (!receiver.start())
            qFatal("%s", qPrintable(receiver.errorString()));
        QObject::connect(&link, &ReceiverLink::status, [this](const QString &text) { statuses << text; });
        QObject::connect(&link, &ReceiverLink::lost, [this](const QString &words) { said << "lost " + words; });
        QObject::connect(&link, &ReceiverLink::memory, [this](quint32 total, quint32 used) {
            said << QString("memory %1 %2").arg(total).arg(used);
        });
        QObject::connect(&link, &ReceiverLink::listingBegun, [this] { said << "begun"; });
        QObject::connect(&link, &ReceiverLink::listed, [this](const ReceiverListing &listing) {
            QString words = "listed";
            for (const ListEntry &entry : listing.entries)
                words += QString(" %1:%2").arg(entry.name).arg(entry.size);
            said << words + (listing.whole ? "" : " not whole");
        });
        QObject::connect(&link, &ReceiverLink::uploadEnded, [this](UploadReply reply) {
            static const char *const kinds[] = { "", "ready", "complete", "stopped", "restarted" };
            said << QString("upload ") + kinds[int(reply)];
        });
        QObject::connect(&link, &ReceiverLink::answered, [this](const QString &request, CommandReply reply) {
            static const char *const kinds[] = { "", "accepted", "refused", "ignored" };
            said << request + " " + kinds[int(reply)];
        });
        QObject::connect(&download, &FileDownload::status, [this](const QString &text) { statuses << text; });
        QObject::connect(&download, &FileDownload::saved, [this](bool empty) { said << (empty ? "saved empty" : "saved"); });
        QObject::connect(&download, &FileDownload::notSaved, [this](const QString &problem) { said << "not saved: " + problem; });
        QObject::connect(&download, &FileDownload::readBack, [this](const std::optional<QByteArray> &content) {
            said << (content ? "read " + QString::fromLatin1(*content) : "not read");
        });
        QObject::connect(&download, &FileDownload::interrupted, [this] { said << "interrupted"; });
        QObject::connect(&upload, &FileUpload::status, [this](const QString &text) { statuses << text; });
        if (!link.open(receiver.portName()))
            qFatal("can't open the simulated receiver's port");
    }
    ~Bench() { resetSession(); }

    // The receiver stays silent to these requests: the test answers for it.
    void silence(const QString &letters)
    {
        for (QChar letter : letters)
            receiver.faults().silentCommands.insert(letter.toLatin1());
    }
    QString lastSaid() const { return said.value(said.size() - 1); }
    QString lastStatus() const { return statuses.value(statuses.size() - 1, "-"); }
    bool requested(int count)
    {
        return QTest::qWaitFor([&] { return receiver.requests().size() >= count; }, 10000);
    }

    Workspace workspace;
    ReceiverSimulator receiver;
    ReceiverLink link;
    StorageListing listing{ &link };
    FileDownload download{ &link };
    FileUpload upload{ &link };
    QStringList said;
    QStringList statuses;
};
}

class LinkTest : public QObject
{
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void listingInPieces();
    void bytesBehindAWholeReply();
    void eachArrivalOnce();
    void requestsStartFromAnEmptyBuffer();
    void unfinishedListingDoesNotSpoilNextLink();
    void failedOpen();
    void uploadFrames_data();
    void uploadFrames();
    void savingInto_data();
    void savingInto();
    void portErrors();
    void staleTimerExpiry();
    void standaloneSimulatorServesFolder();
};

void LinkTest::replies_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<quint32>("size");      // listed, of a file read or saved
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("said");      // the signals, " | " between them
    QTest::addColumn<QString>("status");    // the last status, or "-" when none

    const QByteArray scan = hex("0000001000000008000004d2") + "scan.csv";
    QTest::newRow("memory") << "MEMORY" << 0u << hex("000f42400003d090") << "memory 1000000 250000 | begun | listed" << "-";
    QTest::newRow("memory, noise") << "MEMORY" << 0u << hex("0d0a000000000000") << "" << "-";
    QTest::newRow("list") << "LIST" << 0u << scan << "begun | listed scan.csv:1234" << "-";
    QTest::newRow("list, bytes behind it") << "LIST" << 0u << scan + "zz" << "begun | listed scan.csv:1234 not whole" << "-";
    QTest::newRow("list, past its length") << "LIST" << 0u << hex("0000000e0000000600000010") + "ap.csv" + hex("0000000500000001") + "b.txt"
                                           << "begun | listed ap.csv:16 not whole" << "-";
    QTest::newRow("read") << "READ" << 5u << hex("00000005") + "hello" << "read hello" << "downloaded 100%";
    QTest::newRow("read, still coming") << "READ" << 30u << hex("0000001e") + "0123456789" << "" << "downloaded 33%";
    QTest::newRow("read, a size byte alone") << "READ" << 30u << hex("00") << "" << "prepare to download...";
    QTest::newRow("read, refused") << "READ" << 5u << QByteArray("d") << "not read" << "ESP32: can't open the file";
    QTest::newRow("read, empty") << "READ" << 0u << hex("00000000") << "read " << "file empty";
    QTest::newRow("read, another size") << "READ" << 5u << hex("00000003") + "two" << "not read" << "ESP32: file size differs from the list";
    QTest::newRow("read, too large") << "READ" << 0x80000000u << hex("80000000") + "xy" << "not read" << "ESP32: file too large";
    QTest::newRow("read, repeated") << "READ" << 5u << hex("00000005") + "hello" + hex("00000005") + "hello" << "not read"
                                    << "ESP32: reply longer than the file";
    QTest::newRow("read, boot text") << "READ" << 5u << ReceiverSimulator::esp32BootText() << "interrupted" << "ESP32: restarted";
    QTest::newRow("save") << "SAVE" << 5u << hex("00000005") + "hello" << "saved" << "downloading complete";
    QTest::newRow("save, empty") << "SAVE" << 0u << hex("00000000") << "saved empty" << "file empty";
    QTest::newRow("save, refused") << "SAVE" << 5u << QByteArray("d") << "not saved: ap.csv can't be read from the device"
                                   << "ESP32: can't open the file";
    QTest::newRow("save, boot text") << "SAVE" << 5u << ReceiverSimulator::esp32BootText() << "interrupted" << "ESP32: restarted";
    QTest::newRow("upload stopped") << "UPLOAD" << 0u << QByteArray("a") << "upload stopped" << "uploading stoped";
    QTest::newRow("upload ended") << "UPLOAD" << 0u << QByteArray("u") << "upload complete" << "uploading complete";
    QTest::newRow("upload, boot text") << "UPLOAD" << 0u << ReceiverSimulator::esp32BootText() << "upload restarted" << "ESP32: restarted";
    QTest::newRow("removed") << "REMOVE" << 0u << QByteArray("R") << "REMOVE accepted" << "removing complete";
    QTest::newRow("not removed") << "REMOVE" << 0u << QByteArray("r") << "REMOVE refused" << "ESP32: can't remove the file";
    QTest::newRow("remove, other byte") << "REMOVE" << 0u << QByteArray("?") << "" << "-";
    QTest::newRow("formatted") << "ERASE" << 0u << QByteArray("E") << "ERASE accepted" << "file system ESP32 formatted";
    QTest::newRow("executed") << "EXECUTE" << 0u << QByteArray("X") << "EXECUTE accepted" << "file opened on ESP32";
    QTest::newRow("not executed") << "EXECUTE" << 0u << QByteArray("x") << "EXECUTE refused" << "ESP32: file unsupported";
    QTest::newRow("execute, two bytes") << "EXECUTE" << 0u << QByteArray("Xx") << "EXECUTE ignored" << "-";
    QTest::newRow("reboot") << "REBOOT" << 0u << QByteArray(20, 'n') << "" << "ESP32 restarted";
}

// Each kind of reply, sent by the test for the request the link awaits:
// what the link and the exchanges say, and what the status bar would show.
void LinkTest::replies()
{
    QFETCH(QString, request);
    QFETCH(quint32, size);
    QFETCH(QByteArray, reply);
    QFETCH(QString, said);
    QFETCH(QString, status);
    Bench bench;
    // The list follows the figures as one exchange; its reply is the receiver's own.
    bench.silence(request == "MEMORY" ? "MDUREXQ" : "MLDUREXQ");
    if (request == "MEMORY")
        bench.listing.refresh();
    else if (request == "LIST")
        bench.link.askForList();
    else if (request == "READ")
        bench.download.read("ap.csv", size);
    else if (request == "SAVE")
        bench.download.save("ap.csv", size, bench.workspace.path(), false);
    else if (request == "UPLOAD")
        bench.upload.send("ap.csv", "content");
    else if (request == "REMOVE")
        bench.link.remove("ap.csv");
    else if (request == "ERASE")
        bench.link.format();
    else if (request == "EXECUTE")
        bench.link.execute("/index.htm");
    else
        bench.link.reboot();
    QVERIFY(bench.requested(1));
    QSignalSpy arrived(&bench.link, &ReceiverLink::lineActive);
    bench.receiver.sendRaw(reply);
    QTRY_VERIFY(!arrived.isEmpty());
    QTRY_COMPARE(bench.said.join(" | "), said);
    QTRY_COMPARE(bench.lastStatus(), status);
    QCOMPARE(bench.link.isIdle(), !said.isEmpty() || request == "REBOOT");
}

// The list's header takes the old list away; the list comes with its last byte.
void LinkTest::listingInPieces()
{
    Bench bench;
    bench.silence("L");
    bench.link.askForList();
    QVERIFY(bench.requested(1));
    const QByteArray reply = hex("0000001000000008000004d2") + "scan.csv";
    bench.receiver.sendRaw(reply.left(4));
    QTRY_COMPARE(bench.said, QStringList{ "begun" });
    bench.receiver.sendRaw(reply.mid(4, 15));
    QTRY_COMPARE(recived.size(), 15);
    QCOMPARE(bench.said, QStringList{ "begun" });
    bench.receiver.sendRaw(reply.right(1));
    QTRY_COMPARE(bench.said, QStringList({ "begun", "listed scan.csv:1234" }));
    QVERIFY(bench.link.isIdle());
}

// A whole reply is taken once the line has stayed quiet behind it: bytes
// that come meanwhile make it untrusted, or show that the receiver restarted.
void LinkTest::bytesBehindAWholeReply()
{
    Bench bench;
    bench.link.setTimings({ 60000, 10 });
    bench.silence("LD");
    bench.link.askForList();
    QVERIFY(bench.requested(1));
    bench.receiver.sendRaw(hex("0000001000000008000004d2") + "scan.csv");
    QTRY_COMPARE(bench.said, QStringList{ "begun" });
    bench.receiver.sendRaw("zz");
    QTRY_COMPARE(bench.lastSaid(), QString("listed scan.csv:1234 not whole"));
    for (const QByteArray &behind : { QByteArray("zz"), QByteArray("\r\nrst:0x1 (") }) {
        bench.said.clear();
        const int asked = bench.receiver.requests().size();
        bench.download.read("ap.csv", 5);
        QVERIFY(bench.requested(asked + 1));
        bench.receiver.sendRaw(hex("00000005") + "hello");
        QTRY_COMPARE(bench.lastStatus(), QString("downloaded 100%"));
        bench.receiver.sendRaw(behind);
        QTRY_COMPARE(bench.said, QStringList{ behind == "zz" ? "not read" : "interrupted" });
    }
}

// Closed and opened again, the link reads each arrival once: a file in two
// pieces is read once, whole.
void LinkTest::eachArrivalOnce()
{
    Bench bench;
    bench.link.close();
    QVERIFY(!serial.isOpen());
    QVERIFY(bench.link.open(bench.receiver.portName()));
    bench.silence("D");
    bench.download.read("ap.csv", 2);
    QVERIFY(bench.requested(1));
    bench.receiver.sendRaw(hex("00000002") + "x");
    QTRY_COMPARE(recived, QByteArray("x"));
    bench.receiver.sendRaw("y");
    QTRY_COMPARE(bench.said, QStringList{ "read xy" });
}

// Bytes that come while nothing is awaited stay, until a request starts
// from an empty buffer; the first piece after a reboot request ends it,
// the rest stays too.
void LinkTest::requestsStartFromAnEmptyBuffer()
{
    Bench bench;
    bench.link.reboot();
    QVERIFY(bench.requested(1));
    bench.receiver.sendRaw("ets ");
    QTRY_VERIFY(bench.link.isIdle());
    bench.receiver.sendRaw("Jun  8 2016\r\n");
    QTRY_COMPARE(recived.size(), 13);
    bench.receiver.putFile("index.htm", "<html>");
    bench.link.execute("/index.htm");
    QTRY_COMPARE(bench.said, QStringList{ "EXECUTE accepted" });
    QCOMPARE(bench.receiver.requests().last().raw, tag + "X" + hex("0000000a") + "/index.htm");
}

void LinkTest::unfinishedListingDoesNotSpoilNextLink()
{
    Bench bench;
    bench.receiver.putFile("ap.csv", "1");
    bench.receiver.faults().listReplyOverride = hex("00000040") + "partial";
    bench.listing.refresh();
    QTRY_COMPARE(sizeOfData, quint32(0x40));
    bench.link.close();
    bench.receiver.faults().listReplyOverride.clear();
    QVERIFY(bench.link.open(bench.receiver.portName()));
    bench.listing.refresh();
    QTRY_COMPARE(bench.lastSaid(), QString("listed ap.csv:1"));
}

// A port that can't be opened leaves the request an earlier link awaited.
void LinkTest::failedOpen()
{
    Bench bench;
    bench.silence("D");
    bench.download.read("ap.csv", 1);
    bench.link.close();
    QVERIFY(!bench.link.open("/dev/veltra-no-such-port"));
    QCOMPARE(bench.lastStatus(), QString("ESP32: can't use the port"));
    QVERIFY(!connected);
    QCOMPARE(mode, QString("DOWNLOAD"));
    QVERIFY(!bench.link.open(QString()));
}

void LinkTest::uploadFrames_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("chunks");
    QTest::addColumn<QStringList>("progress");
    QTest::newRow("70 bytes") << 70 << QList<int>{ 32, 32, 6 }
                              << QStringList{ "uploaded 0%", "uploaded 46%", "uploaded 92%", "uploaded 100%" };
    QTest::newRow("whole chunks") << 64 << QList<int>{ 32, 32 } << QStringList{ "uploaded 0%", "uploaded 50%", "uploaded 100%" };
    QTest::newRow("empty") << 0 << QList<int>() << QStringList{ "uploaded 100%" };
}

// An upload on the wire: the header, a chunk for each ready code, the end
// frame; the receiver holds the file byte for byte.
void LinkTest::uploadFrames()
{
    QFETCH(int, size);
    QFETCH(QList<int>, chunks);
    QFETCH(QStringList, progress);
    Bench bench;
    QByteArray content;
    for (int i = 0; i < size; ++i)
        content += char(0x80 + i);
    bench.upload.send("city.csv", content);
    QTRY_COMPARE(bench.said, QStringList{ "upload complete" });
    QByteArray expected = tag + "U" + bigEndianField(9) + bigEndianField(quint32(size)) + "/city.csv";
    int sent = 0;
    for (int chunk : chunks) {
        expected += tag + "U" + char(chunk) + content.mid(sent, chunk);
        sent += chunk;
    }
    QCOMPARE(bench.receiver.received(), expected + tag + "u");
    QCOMPARE(bench.statuses, QStringList{ "uploading..." } + progress + QStringList{ "uploading complete" });
    QCOMPARE(bench.receiver.files().value("city.csv"), content);
    QCOMPARE(sizeOfFile, 0);
}

void LinkTest::savingInto_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<quint32>("listedSize");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QStringList>("saved");
    QTest::newRow("a file") << QStringList{ "ap.csv" } << 5u << "saved" << QStringList{ "ap.csv" };
    QTest::newRow("two names one file on Windows") << QStringList{ "Scan.csv", "scan.csv" } << 5u
        << "saved | not saved: PC: two device files have the saving name scan.csv" << QStringList{ "Scan.csv" };
    QTest::newRow("names cleaned alike") << QStringList{ "a-b.txt", "a:b.txt" } << 5u
        << "saved | not saved: PC: two device files have the saving name a-b.txt" << QStringList{ "a-b.txt" };
    QTest::newRow("listed too large") << QStringList{ "ap.csv" } << 0x80000000u << "not saved: ESP32: file too large" << QStringList();
    QTest::newRow("a folder in its way") << QStringList{ "busy.csv" } << 5u << "not saved: PC: can't write downloading file" << QStringList();
}

// Files of one batch saved into a folder: whole or not at all, each under a
// name of its own.
void LinkTest::savingInto()
{
    QFETCH(QStringList, names);
    QFETCH(quint32, listedSize);
    QFETCH(QString, said);
    QFETCH(QStringList, saved);
    Bench bench;
    QDir().mkpath("files/busy.csv");
    bench.download.beginBatch();
    for (const QString &name : names) {
        bench.receiver.putFile(name, "hello");
        const int before = bench.said.size();
        bench.download.save(name, listedSize, "files", true);
        QTRY_COMPARE(bench.said.size(), before + 1);
    }
    QCOMPARE(bench.said.join(" | "), said);
    QCOMPARE(QDir("files").entryList(QDir::Files), saved);
    QVERIFY(bench.link.isIdle());
}

// Read errors with data between them are no lost device, however many in
// all; a resource error is, said once. A port that leaves after a restart
// request is no lost link.
void LinkTest::portErrors()
{
    Bench bench;
    for (int i = 0; i < 60; ++i)
        emit serial.errorOccurred(QSerialPort::ReadError);
    bench.receiver.sendRaw("x");
    QTRY_COMPARE(recived, QByteArray("x"));
    for (int i = 0; i < 60; ++i)
        emit serial.errorOccurred(QSerialPort::ReadError);
    QVERIFY(connected);
    bench.receiver.unplug();
    QTRY_COMPARE(bench.said, QStringList{ "lost connection lost" });
    QVERIFY(!connected);
    QCOMPARE(bench.lastStatus(), QString("ESP32: connection lost"));

    QVERIFY(bench.receiver.start());
    QVERIFY(bench.link.open(bench.receiver.portName()));
    bench.link.reboot();
    QVERIFY(bench.requested(1));
    bench.receiver.unplug();
    QTRY_VERIFY(!connected);
    QCOMPARE(bench.said, QStringList{ "lost connection lost" });
}

// The installation's runner, on the link without a window: a timer that
// ran out and was started again before its expiry was heard has not run
// out. Here bytes that came restart the quiet line's timer first, so the
// listing is not asked for again over them.
void LinkTest::staleTimerExpiry()
{
    Bench bench;
    bench.link.close();
    bench.silence("M");
    InstallationRunner runner(&bench.link);
    InstallTimings timings;
    timings.lateAnswerMs = 50;
    runner.setTimings(timings);
    QSignalSpy waiting(&runner, &InstallationRunner::reportsWaiting);
    runner.start({ bench.receiver.portName(), "ili9341", "ENG", {} });
    runner.deliverReports();
    QCOMPARE(mode, QString("MEMORY"));
    waiting.clear();
    bench.receiver.sendRaw("x");
    // What happened waits to be heard: the bytes, then the quiet line's expiry.
    QTRY_COMPARE(waiting.count(), 2);
    runner.deliverReports();
    QCOMPARE(recived, QByteArray("x"));
    runner.cancel();
}

void LinkTest::standaloneSimulatorServesFolder()
{
    Bench bench;
    bench.link.close();
    bench.workspace.writeFile("receiver/ap.csv", "freq,name\n");
    QProcess simulator;
    simulator.start(RECEIVER_SIM, { "receiver" });
    QVERIFY(simulator.waitForReadyRead(10000));
    const QString port = QString::fromLocal8Bit(simulator.readLine()).trimmed();
    QVERIFY(port.startsWith("/dev/"));
    QVERIFY(bench.link.open(port));
    bench.listing.refresh();
    QTRY_COMPARE(bench.lastSaid(), QString("listed ap.csv:10"));

    // What is sent lands in the folder, one file per receiver file.
    bench.upload.send("city.csv", "Praha,50.08,14.43\n");
    QTRY_COMPARE(bench.lastSaid(), QString("upload complete"));
    QCOMPARE(bench.workspace.readFile("receiver/city.csv"), QByteArray("Praha,50.08,14.43\n"));

    simulator.terminate();
    QVERIFY(simulator.waitForFinished(10000));
    QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
}

QTEST_GUILESS_MAIN(LinkTest)
#include "tst_link.moc"
