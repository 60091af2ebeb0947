// The reply decoders, fed as the port delivers: in one piece, byte by byte
// and cut anywhere, run together with what follows, and with noise.

#include "device/replies.h"
#include "workspace.h"

#include <QtTest>

namespace {
// One arrival: what the decoder of mode decided, or an empty text while it
// waits. What a decision leaves in the buffer is shown behind "+".
QString decide(const QString &mode, QByteArray &buffer, quint32 &bodyLength, int &fileSize, quint32 listed)
{
    QString decision;
    if (mode == "MEMORY") {
        const MemoryReply reply = decodeMemoryReply(buffer);
        if (reply.complete)
            decision = QString("memory %1 %2").arg(reply.total).arg(reply.used);
        else if (reply.noise)
            return "noise";
    } else if (mode == "LIST") {
        const ListReply reply = decodeListReply(buffer, bodyLength);
        if (reply.complete) {
            decision = "list";
            for (const ListEntry &entry : reply.entries)
                decision += QString(" %1:%2").arg(entry.name).arg(entry.size);
            if (!reply.whole)
                decision += " not whole";
        }
    } else if (mode == "DOWNLOAD") {
        static const char *const kinds[] = { "", "", "refused", "too large", "size differs", "empty", "", "complete", "overrun", "restarted" };
        const DownloadReply reply = decodeDownloadReply(buffer, fileSize, listed);
        decision = kinds[reply.kind];
        if (reply.kind == DownloadReply::Complete)
            decision += " " + reply.content;
    } else if (mode == "UPLOAD") {
        static const char *const kinds[] = { "", "ready", "complete", "stopped", "restarted" };
        decision = kinds[int(decodeUploadReply(buffer))];
    } else {
        static const char *const kinds[] = { "", "accepted", "refused", "ignored" };
        const CommandReply reply = mode == "REMOVE" ? decodeRemoveReply(buffer)
                                 : mode == "ERASE"  ? decodeEraseReply(buffer)
                                                    : decodeExecuteReply(buffer);
        decision = kinds[int(reply)];
    }
    if (!decision.isEmpty() && !buffer.isEmpty())
        decision += " +" + buffer.toHex();
    return decision;
}

// The pieces one arrival after another, until the decoder decides.
QString decodeArrivals(const QString &mode, const QList<QByteArray> &pieces, quint32 listed)
{
    QByteArray buffer;
    quint32 bodyLength = 0;
    int fileSize = 0;
    for (const QByteArray &piece : pieces) {
        buffer += piece;
        const QString decision = decide(mode, buffer, bodyLength, fileSize, listed);
        if (!decision.isEmpty())
            return decision;
    }
    return "waiting " + buffer.toHex();
}
}

class RepliesTest : public QObject
{
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void downloadProgress();
    void listBody_data();
    void listBody();
};

void RepliesTest::replies_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<quint32>("listed");
    QTest::addColumn<bool>("anyCut");       // the same decision however the reply is cut
    QTest::addColumn<QString>("decision");

    QTest::newRow("memory") << "MEMORY" << hex("000f42400003d090") << 0u << true << "memory 1000000 250000";
    QTest::newRow("memory, all ones") << "MEMORY" << hex("ffffffffffffffff") << 0u << true << "noise";
    QTest::newRow("memory of 16 MiB") << "MEMORY" << hex("0100000000000000") << 0u << true << "memory 16777216 0";
    QTest::newRow("memory above 16 MiB") << "MEMORY" << hex("0100000100000000") << 0u << true << "noise";
    QTest::newRow("memory of nothing") << "MEMORY" << hex("0000000000000000") << 0u << true << "noise";
    QTest::newRow("memory, CR LF and six NULs") << "MEMORY" << hex("0d0a000000000000") << 0u << true << "noise";
    QTest::newRow("memory, more used than held") << "MEMORY" << hex("00000064000000c8") << 0u << true << "noise";
    QTest::newRow("memory behind boot text") << "MEMORY" << "ets Jun  8 2016 00:22:57\r\nrst:0x1 (POWERON_RESET)\r\n" + hex("000f42400003d090")
                                             << 0u << true << "noise";
    QTest::newRow("boot text and six NULs") << "MEMORY" << "entry 0x40080600\r\n" + hex("000000000000") << 0u << true << "noise";
    QTest::newRow("memory behind a repeated code") << "MEMORY" << "u" + hex("000f42400003d090") << 0u << true << "noise";
    QTest::newRow("memory and two more") << "MEMORY" << hex("000003e8000001f4abcd") << 0u << false << "noise";
    QTest::newRow("memory cut short") << "MEMORY" << hex("0000000100") << 0u << true << "waiting 0000000100";

    QTest::newRow("list, empty") << "LIST" << hex("00000000") << 0u << true << "list";
    QTest::newRow("list, scan.csv") << "LIST" << hex("0000001000000008000004d2") + "scan.csv" << 0u << true
                                    << "list scan.csv:1234";
    QTest::newRow("list, two files") << "LIST" << hex("0000001c0000000600000010") + "ap.csv" + hex("0000000600000000") + "b.html"
                                     << 0u << true << "list ap.csv:16 b.html:0";
    QTest::newRow("list, one entry more than announced")
        << "LIST" << hex("0000000e0000000600000010") + "ap.csv" + hex("0000000800000001") + "city.csv" << 0u << false
        << "list ap.csv:16 not whole";
    QTest::newRow("list, second name past the body")
        << "LIST" << hex("000000190000000600000010") + "ap.csv" + hex("0000000800000001") + "cit" << 0u << true
        << "list ap.csv:16 not whole";
    QTest::newRow("list, empty with noise behind") << "LIST" << hex("00000000ff") << 0u << false << "list not whole";
    QTest::newRow("list, body still coming") << "LIST" << hex("00000010000000") << 0u << true << "waiting 000000";

    QTest::newRow("download refused") << "DOWNLOAD" << QByteArray("d") << 5u << true << "refused";
    QTest::newRow("download empty") << "DOWNLOAD" << hex("00000000") << 0u << true << "empty";
    QTest::newRow("download") << "DOWNLOAD" << hex("00000005") + "hello" << 5u << true << "complete hello";
    QTest::newRow("download, a d inside") << "DOWNLOAD" << hex("00000002") + "dd" << 2u << true << "complete dd";
    QTest::newRow("download and more") << "DOWNLOAD" << hex("00000005") + "hello" + "MORE" << 5u << false << "overrun";
    QTest::newRow("download of another size") << "DOWNLOAD" << hex("00000006") + "hello!" << 5u << true << "size differs";
    QTest::newRow("download too large") << "DOWNLOAD" << hex("80000000") + "xy" << 0x80000000u << true << "too large";
    QTest::newRow("download cut short") << "DOWNLOAD" << hex("00000005") + "hel" << 5u << true << "waiting 68656c";
    QTest::newRow("download, boot text for the size") << "DOWNLOAD" << QByteArray("\r\nets Jun  8 2016 00:22:57\r\n") << 5u << true << "restarted";
    QTest::newRow("download, boot text behind the content") << "DOWNLOAD" << hex("00000005") + "hellorst:0x1 (" << 5u << false << "restarted";
    QTest::newRow("download, content that holds boot text's letters") << "DOWNLOAD" << hex("0000000d") + "ets Jun  8 20" << 13u << true
                                                                      << "complete ets Jun  8 20";

    QTest::newRow("ready") << "UPLOAD" << QByteArray("A") << 0u << true << "ready";
    QTest::newRow("upload complete") << "UPLOAD" << QByteArray("u") << 0u << true << "complete";
    QTest::newRow("upload stopped") << "UPLOAD" << QByteArray("a") << 0u << true << "stopped";
    QTest::newRow("upload, noise before the code") << "UPLOAD" << QByteArray("\xfe\r" "A") << 0u << true << "ready";
    QTest::newRow("upload, noise alone") << "UPLOAD" << QByteArray("\x80\xfe") << 0u << true << "waiting ";
    QTest::newRow("upload, text is no code") << "UPLOAD" << QByteArray("Zu") << 0u << true << "waiting 5a75";
    QTest::newRow("upload, boot text") << "UPLOAD" << QByteArray("\r\nets Jun  8 2016") << 0u << true << "restarted";

    QTest::newRow("removed") << "REMOVE" << QByteArray("R") << 0u << true << "accepted";
    QTest::newRow("not removed") << "REMOVE" << QByteArray("r") << 0u << true << "refused";
    QTest::newRow("remove, other byte") << "REMOVE" << QByteArray("Z") << 0u << true << "ignored";
    QTest::newRow("remove, two bytes") << "REMOVE" << QByteArray("RR") << 0u << false << "waiting 5252";
    QTest::newRow("formatted") << "ERASE" << QByteArray("E") << 0u << true << "accepted";
    QTest::newRow("erase, other byte") << "ERASE" << QByteArray("e") << 0u << true << "ignored";
    QTest::newRow("executed") << "EXECUTE" << QByteArray("X") << 0u << true << "accepted";
    QTest::newRow("not executed") << "EXECUTE" << QByteArray("x") << 0u << true << "refused";
    QTest::newRow("execute, two bytes") << "EXECUTE" << QByteArray("Xx") << 0u << false << "ignored";
}

void RepliesTest::replies()
{
    QFETCH(QString, mode);
    QFETCH(QByteArray, reply);
    QFETCH(quint32, listed);
    QFETCH(bool, anyCut);
    QFETCH(QString, decision);

    QCOMPARE(decodeArrivals(mode, { reply }, listed), decision);
    if (!anyCut)
        return;
    QList<QByteArray> bytes;
    for (char byte : reply)
        bytes << QByteArray(1, byte);
    QCOMPARE(decodeArrivals(mode, bytes, listed), decision);
    for (int cut = 1; cut < reply.size(); ++cut)
        QCOMPARE(decodeArrivals(mode, { reply.left(cut), reply.mid(cut) }, listed), decision);
}

void RepliesTest::downloadProgress()
{
    QByteArray buffer = hex("0000001e") + QByteArray(10, 'c');
    int fileSize = 0;
    DownloadReply reply = decodeDownloadReply(buffer, fileSize, 30);
    QCOMPARE(reply.kind, DownloadReply::Progress);
    QCOMPARE(reply.percent, 33);
    QCOMPARE(fileSize, 30);
    QCOMPARE(buffer.size(), 10);
    buffer = "x";
    fileSize = 0;
    QCOMPARE(decodeDownloadReply(buffer, fileSize, 30).kind, DownloadReply::Prepare);
    QCOMPARE(buffer, QByteArray("x"));

    // Bytes after a stall: boot text ends the reply, content goes on.
    for (const QByteArray &after : { QByteArray("ets Jun  8"), QByteArray("ets jun 8 ") }) {
        buffer = hex("0000001e") + QByteArray(10, 'c') + after;
        fileSize = 0;
        int resumedAt = 14;
        reply = decodeDownloadReply(buffer, fileSize, 30, &resumedAt);
        QCOMPARE(reply.kind, after.startsWith("ets J") ? DownloadReply::Restarted : DownloadReply::Progress);
        QCOMPARE(resumedAt, -1);
    }
}

void RepliesTest::listBody_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<quint32>>("sizes");
    QTest::addColumn<bool>("whole");
    QTest::newRow("one file") << hex("00000008000004d2") + "scan.csv" << QStringList{ "scan.csv" } << QList<quint32>{ 1234 } << true;
    QTest::newRow("only the low byte of the name length")
        << hex("0000010500000001") + "a.txt" << QStringList{ "a.txt" } << QList<quint32>{ 1 } << true;
    QTest::newRow("name running past the body")
        << hex("0000000600000010") + "ap.csv" + hex("0000002000000001") + "short"
        << QStringList{ "ap.csv" } << QList<quint32>{ 16 } << false;
    QTest::newRow("entry header cut short")
        << hex("0000000600000010") + "ap.csv" + hex("000000") << QStringList{ "ap.csv" } << QList<quint32>{ 16 } << false;
    QTest::newRow("empty name") << hex("0000000000000003") << QStringList{ "" } << QList<quint32>{ 3 } << true;
    QTest::newRow("UTF-8 name") << hex("0000000600000001") + "caf\xc3\xa9!"
                                << QStringList{ QString::fromUtf8("café!") } << QList<quint32>{ 1 } << true;
}

void RepliesTest::listBody()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, names);
    QFETCH(QList<quint32>, sizes);
    QFETCH(bool, whole);
    const ListBody list = parseListBody(body);
    QCOMPARE(list.whole, whole);
    QCOMPARE(list.entries.size(), names.size());
    for (int i = 0; i < list.entries.size(); ++i) {
        QCOMPARE(list.entries.at(i).name, names.at(i));
        QCOMPARE(list.entries.at(i).size, sizes.at(i));
    }
}

QTEST_APPLESS_MAIN(RepliesTest)
#include "tst_replies.moc"
