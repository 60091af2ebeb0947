// The protocol, naming and sequencing rules that need no window.

#include "installer/backupfolder.h"
#include "storage/batch.h"
#include "storage/filenames.h"
#include "device/frames.h"
#include "storage/listing.h"
#include "installer/consoletext.h"
#include "installer/flash.h"
#include "installer/nextstep.h"
#include "installer/options.h"
#include "installer/preflight.h"
#include "installer/progress.h"
#include "installer/scriptrun.h"
#include "installer/shippedscript.h"
#include "device/portscan.h"
#include "workspace.h"
#include "storage/upload.h"

#include <QDir>
#include <QTemporaryFile>
#include <QRegularExpression>
#include <QTextCodec>
#include <QtTest>

class LogicTest : public QObject
{
    Q_OBJECT

private slots:
    void requestFrames_data();
    void requestFrames();
    void uploadHeaderOfCityCsv();
    void receivedNumbers_data();
    void receivedNumbers();
    void extensionsAndIcons_data();
    void extensionsAndIcons();
    void storageBarStaysInRange_data();
    void storageBarStaysInRange();
    void savingNames_data();
    void savingNames();
    void savingNameNeverLeavesFolder();
    void cleanedUploadNames_data();
    void cleanedUploadNames();
    void uploadPercentages();
    void uploadAllSequence();
    void batchSources();
    void portSelection_data();
    void portSelection();
    void preflightChecks_data();
    void preflightChecks();
    void preflightFolderThatCantBeWritten();
    void receiverModels();
    void backupFolderMovesOlderOneAside();
    void backupFolderRefusesWhenItCantMove();
    void flasherOutput_data();
    void flasherOutput();
    void windowsCommandLines();
    void shippedScriptRuns();
#ifdef Q_OS_WIN
    void stoppedScriptEndsWhatItStarted();
#endif
    void installationProgress();
    void nextSteps_data();
    void nextSteps();
    void firmwareLogVerdict_data();
    void firmwareLogVerdict();
};

static const QByteArray &tag = frameTagBytes;

void LogicTest::requestFrames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("MEMORY") << "MEMORY" << QString() << tag + "M";
    QTest::newRow("LIST") << "LIST" << QString() << tag + "L";
    QTest::newRow("ERASE") << "ERASE" << QString() << tag + "E";
    QTest::newRow("REBOOT") << "REBOOT" << QString() << tag + "Q";
    QTest::newRow("DOWNLOAD ap.csv") << "DOWNLOAD" << "/ap.csv" << tag + "D" + hex("00000007") + "/ap.csv";
    QTest::newRow("REMOVE scan.csv") << "REMOVE" << "/scan.csv" << tag + "R" + hex("00000009") + "/scan.csv";
    QTest::newRow("EXECUTE index.htm") << "EXECUTE" << "/index.htm" << tag + "X" + hex("0000000a") + "/index.htm";
    QTest::newRow("UTF-8 path") << "DOWNLOAD" << QString::fromUtf8("/é") << tag + "D" + hex("00000003") + "/\xc3\xa9";
}

void LogicTest::requestFrames()
{
    QFETCH(QString, name);
    QFETCH(QString, path);
    QFETCH(QByteArray, expected);
    const QByteArray frame = requestFrame(name, path.isNull() ? QByteArray() : pathArgument(path));
    QCOMPARE(frame, expected);
    if (QByteArray(QTest::currentDataTag()) == "DOWNLOAD ap.csv")
        QCOMPARE(frame.size(), 28);
}

void LogicTest::uploadHeaderOfCityCsv()
{
    const QByteArray header = requestFrame("UPLOAD", uploadArguments(devicePath("city.csv"), 70));
    QCOMPARE(header, tag + "U" + hex("00000009") + hex("00000046") + "/city.csv");
    QCOMPARE(header.size(), 34);
    QCOMPARE(chunkFrame("abc"), tag + "U" + hex("03") + "abc");
    QCOMPARE(endFrame(), tag + "u");
}

void LogicTest::receivedNumbers_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<quint32>("value");
    QTest::newRow("500") << hex("000001f4") << quint32(500);
    QTest::newRow("all ones") << hex("ffffffff") << quint32(4294967295u);
    QTest::newRow("high bit of each byte") << hex("80808080") << quint32(0x80808080u);
    QTest::newRow("1234") << hex("000004d2") << quint32(1234);
}

void LogicTest::receivedNumbers()
{
    QFETCH(QByteArray, bytes);
    QFETCH(quint32, value);
    QCOMPARE(bigEndianAt(bytes, 0), value);
    QCOMPARE(bigEndianField(value), bytes);
    QCOMPARE(scti(char(0xff)), 255);
    QCOMPARE(scti(char(0x80)), 128);
    QCOMPARE(scti(char(0x7f)), 127);
}

void LogicTest::extensionsAndIcons_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("icon");
    QTest::newRow("upper case") << "Photo.JPG" << "jpg" << ":/new/icons/picture.png";
    QTest::newRow("htm") << "index.htm" << "htm" << ":/new/icons/world.png";
    QTest::newRow("html") << "index.html" << "html" << ":/new/icons/world.png";
    QTest::newRow("middle piece") << "a.b.c" << "b" << ":/new/icons/unknown.png";
    QTest::newRow("no dot") << "readme" << "" << ":/new/icons/unknown.png";
    QTest::newRow("dot first") << ".hidden" << "" << ":/new/icons/unknown.png";
    QTest::newRow("dot last") << "notes." << "" << ":/new/icons/unknown.png";
    QTest::newRow("data file") << "ap.csv" << "csv" << ":/new/icons/unknown.png";
    QTest::newRow("text") << "log.txt" << "txt" << ":/new/icons/text.png";
    QTest::newRow("sound") << "beep.mp3" << "mp3" << ":/new/icons/music.png";
    QTest::newRow("midi") << "tune.mid" << "mid" << ":/new/icons/music.png";
    QTest::newRow("style sheet") << "site.css" << "css" << ":/new/icons/engine.png";
    QTest::newRow("settings") << "config.ini" << "ini" << ":/new/icons/engine.png";
    QTest::newRow("wifi") << "home.wifi" << "wifi" << ":/new/icons/wifi.png";
    QTest::newRow("device path") << "/index.htm" << "htm" << ":/new/icons/world.png";
}

void LogicTest::extensionsAndIcons()
{
    QFETCH(QString, name);
    QFETCH(QString, extension);
    QFETCH(QString, icon);
    QCOMPARE(getExtension(name), extension);
    QCOMPARE(iconForExtension(getExtension(name)), icon);
}

void LogicTest::storageBarStaysInRange_data()
{
    QTest::addColumn<quint32>("total");
    QTest::addColumn<quint32>("used");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::newRow("ordinary") << quint32(1000000) << quint32(250000) << 1000000 << 250000;
    QTest::newRow("largest int") << quint32(2147483647) << quint32(7) << 2147483647 << 7;
    QTest::newRow("beyond int") << quint32(4294967295u) << quint32(2147483648u) << 2147483647 << 1073741824;
}

void LogicTest::storageBarStaysInRange()
{
    QFETCH(quint32, total);
    QFETCH(quint32, used);
    const BarFigures bar = storageBarFigures(total, used);
    QTEST(bar.maximum, "maximum");
    QTEST(bar.value, "value");
}

void LogicTest::savingNames_data()
{
    QTest::addColumn<QString>("listed");
    QTest::addColumn<QString>("saved");
    QTest::newRow("plain") << "ap.csv" << "ap.csv";
    QTest::newRow("slash") << "dir/a.txt" << "dir-a.txt";
    QTest::newRow("dot dot") << ".." << "---";
    QTest::newRow("dot") << "." << "--";
    QTest::newRow("trailing dot, as Windows drops it") << "ap.csv." << "ap.csv-";
    QTest::newRow("trailing spaces") << "ap.csv  " << "ap.csv--";
    QTest::newRow("the restore record's name") << "Restore-Pending.JSON." << "-Restore-Pending.JSON-";
    QTest::newRow("climbing") << "../x" << "..-x";
    QTest::newRow("backslash") << "a\\b" << "a-b";
    QTest::newRow("drive") << "C:x" << "C-x";
    QTest::newRow("device") << "con" << "-con";
    QTest::newRow("device with extension") << "NUL.txt" << "-NUL.txt";
    QTest::newRow("serial device") << "COM1" << "-COM1";
    QTest::newRow("not a device") << "console" << "console";
    QTest::newRow("empty") << "" << "-";
    QTest::newRow("forbidden") << "a<b>c|d?e*f\"g" << "a-b-c-d-e-f-g";
    QTest::newRow("control") << QString("a\tb") + QChar(0) + "c" << "a-b-c";
    QTest::newRow("non-ASCII") << QString::fromUtf8("café.csv") << QString::fromUtf8("café.csv");
}

void LogicTest::savingNames()
{
    QFETCH(QString, listed);
    QFETCH(QString, saved);
    QCOMPARE(savingName(devicePath(listed)), saved);
}

void LogicTest::savingNameNeverLeavesFolder()
{
    QTemporaryDir root;
    const QDir folder(root.filePath("files"));
    QDir().mkpath(folder.path());
    const QStringList hostile = { "..", "../x", "../../etc/passwd", "a\\..\\b", "C:\\x", "/abs", "con",
                                  QString(255, 'n'), QString(255, '.'), "\x01\x02", "a/../../b" };
    for (const QString &name : hostile) {
        const QString saved = savingName(devicePath(name));
        const QString target = QDir::cleanPath(folder.filePath(saved));
        QVERIFY2(QFileInfo(target).absolutePath() == folder.absolutePath(), qPrintable(name + " -> " + saved));
        QVERIFY2(!saved.isEmpty() && saved != "." && saved != "..", qPrintable(name));
    }
}

void LogicTest::cleanedUploadNames_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("cleaned");
    QTest::addColumn<bool>("incorrect");
    QTest::newRow("plain") << "files/ap.csv" << "ap.csv" << false;
    QTest::newRow("spaces and letters") << QString::fromUtf8("/home/u/my città.txt") << "mycitt.txt" << false;
    QTest::newRow("kept punctuation") << "/x/it's (1)+a,b-c.csv" << "it's(1)+a,b-c.csv" << false;
    QTest::newRow("dot first") << "/x/.hidden" << ".hidden" << true;
    QTest::newRow("dot last") << "/x/notes." << "notes." << true;
    QTest::newRow("two dots") << "/x/a..b" << "a..b" << true;
    QTest::newRow("no dot") << "/x/readme" << "readme" << false;
    QTest::newRow("several dots") << "/x/a.b.c" << "a.b.c" << false;
    QTest::newRow("nothing kept") << QString::fromUtf8("/x/ё ж") << "" << false;
    QTest::newRow("long") << "/x/" + QString(300, 'a') << QString(256, 'a') << false;
}

void LogicTest::cleanedUploadNames()
{
    QFETCH(QString, source);
    QFETCH(QString, cleaned);
    QFETCH(bool, incorrect);
    QCOMPARE(cleanedUploadName(source), cleaned);
    QCOMPARE(isIncorrectUploadName(cleaned), incorrect);
}

void LogicTest::uploadPercentages()
{
    // A 70-byte file: 70, 38, 6 and 0 bytes left when each frame is sent.
    QCOMPARE(uploadPercent(70, 70), 0);
    QCOMPARE(uploadPercent(38, 70), 46);
    QCOMPARE(uploadPercent(6, 70), 92);
    QCOMPARE(uploadPercent(0, 70), 100);
    QCOMPARE(uploadPercent(0, 0), 100);
    QCOMPARE(uploadPercent(1 << 30, 1 << 30), 0);
}

void LogicTest::uploadAllSequence()
{
    QStringList sent;
    QString name;
    while (!(name = nextUploadName(name, "RUS")).isEmpty())
        sent << name;
    QCOMPARE(sent, QStringList({ "ap.csv", "city.csv", "preset.csv", "scan.csv", "rus.lng" }));
    QCOMPARE(nextUploadName("deu.lng", "DEU"), QString());
    QCOMPARE(nextUploadName("other", "ENG"), QString());
}

void LogicTest::batchSources()
{
    QCOMPARE(batchUploadSource("ap.csv"), QString("files/ap.csv"));
    QCOMPARE(batchUploadSource("eng.lng"), QString("firmware/languages/eng.lng"));
    QCOMPARE(batchUploadSource("x.LNG"), QString("files/x.LNG"));
}

void LogicTest::portSelection_data()
{
    // "NAME" a port of unknown make; "NAME=VID" one whose USB vendor id is known.
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QString>("picked");
    QTest::addColumn<int>("selected");
    QTest::newRow("Silicon Labs call-out name second") << QStringList{ "COM3", "cu.SLAB_USBtoUART" } << "" << 1;
    QTest::newRow("call-out name with suffix") << QStringList{ "COM3", "cu.SLAB_USBtoUART2" } << "" << 0;
    QTest::newRow("call-out name as a path") << QStringList{ "COM3", "/dev/cu.SLAB_USBtoUART" } << "" << 0;
    QTest::newRow("call-out name in other case") << QStringList{ "COM3", "cu.slab_usbtouart" } << "" << 0;
    QTest::newRow("no ports") << QStringList{} << "" << -1;
    QTest::newRow("Silicon Labs bridge after COM1") << QStringList{ "COM1", "COM5=10c4" } << "" << 1;
    QTest::newRow("WCH bridge") << QStringList{ "COM1", "COM2=8087", "COM6=1a86" } << "" << 2;
    QTest::newRow("FTDI bridge") << QStringList{ "ttyS0", "ttyUSB0=0403" } << "" << 1;
    QTest::newRow("Prolific bridge") << QStringList{ "COM1", "COM4=067b" } << "" << 1;
    QTest::newRow("the call-out name before a bridge") << QStringList{ "COM5=10c4", "cu.SLAB_USBtoUART" } << "" << 1;
    QTest::newRow("the user's pick kept") << QStringList{ "COM1", "COM5=10c4" } << "COM1" << 0;
    QTest::newRow("the user's pick gone") << QStringList{ "COM1", "COM5=10c4" } << "COM7" << 1;
}

void LogicTest::portSelection()
{
    QFETCH(QStringList, ports);
    QFETCH(QString, picked);
    QVector<SeenPort> seen;
    for (const QString &port : ports) {
        const QString vendor = port.section('=', 1);
        seen.append({ port.section('=', 0, 0), !vendor.isEmpty(), quint16(vendor.toUInt(nullptr, 16)), 0x1234 });
    }
    QTEST(preferredPortIndex(seen, picked), "selected");
}

void LogicTest::preflightChecks_data()
{
    QTest::addColumn<QString>("missing");
    QTest::addColumn<QString>("problem");
    const QString script = shippedScriptFile("flash");
    QTest::newRow("a whole release") << "" << "";
    QTest::newRow("no flashing script") << script << script + " is missing beside the program: unpack the whole release into one folder";
    QTest::newRow("no firmware folder") << "firmware"
        << "the folder firmware is missing beside the program: unpack the whole release into one folder";
    QTest::newRow("no file of the chosen language") << "firmware/languages/deu.lng"
        << "firmware/languages/deu.lng is missing: unpack the whole release into one folder, or choose another language";
}

// What an installation needs is there before anything is sent; the check
// leaves nothing behind.
void LogicTest::preflightChecks()
{
    QFETCH(QString, missing);
    Workspace workspace;
    workspace.installDemoRelease();
    if (!missing.isEmpty())
        QVERIFY(QFileInfo(missing).isDir() ? QDir(missing).removeRecursively() : QFile::remove(missing));
    const QStringList before = QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    QTEST(preflightProblem("DEU"), "problem");
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
}

// A working folder that can't be written is found before anything is sent.
void LogicTest::preflightFolderThatCantBeWritten()
{
    Workspace workspace;
    workspace.installDemoRelease();
    QFile::setPermissions(".", QFile::ReadOwner | QFile::ExeOwner);
    QTemporaryFile probe(QDir::current().filePath("probe-XXXXXX"));
    if (probe.open()) {
        QFile::setPermissions(".", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QSKIP("this user writes into read-only folders");
    }
    const QString problem = preflightProblem("ENG");
    QFile::setPermissions(".", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(problem.startsWith("the folder " + QDir::toNativeSeparators(QDir::currentPath()) + " can't hold a backup ("));
    QVERIFY(problem.endsWith("): move the program into a folder you can write to, such as one in your Documents"));
}

void LogicTest::receiverModels()
{
    bool known = false;
    QCOMPARE(receiverModel("ili9341", &known), QString("Lumo 1/Lumo 2/Lumo Mini"));
    QVERIFY(known);
    QCOMPARE(receiverModel("st7789", &known), QString("Lumo 7"));
    QCOMPARE(receiverModel("ili9488", &known), QString("Lumo Max"));
    QCOMPARE(receiverModel("st7796", &known), QString());
    QVERIFY(known);
    receiverModel("ILI9341", &known);
    QVERIFY(!known);
}

void LogicTest::backupFolderMovesOlderOneAside()
{
    Workspace workspace;
    workspace.writeFile("files/ap.csv", "old backup");
    QString movedTo;
    QVERIFY(prepareBackupFolder("files", &movedTo));
    QVERIFY(QDir("files").isEmpty());
    QCOMPARE(eightDigitFolders(), QStringList{ movedTo });
    const QStringList aside = eightDigitFolders();
    QCOMPARE(workspace.readFile(aside.first() + "/ap.csv"), QByteArray("old backup"));
}

void LogicTest::backupFolderRefusesWhenItCantMove()
{
    Workspace workspace;
    workspace.writeFile("files/ap.csv", "old backup");
    // Every eight-digit name the generator could draw next is taken.
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    qsrand(7);
    QStringList taken;
    for (int i = 0; i < 5; ++i)
        taken << randomBackupName();
    qsrand(7);
    QT_WARNING_POP
    for (const QString &name : taken)
        workspace.writeFile(name + "/keep", "older still");
    QString movedTo;
    QVERIFY(!prepareBackupFolder("files", &movedTo));
    QCOMPARE(workspace.readFile("files/ap.csv"), QByteArray("old backup"));
    for (const QString &name : taken)
        QCOMPARE(workspace.readFile(name + "/keep"), QByteArray("older still"));
}

void LogicTest::flasherOutput_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QStringList>("pane");
    QTest::newRow("plain lines") << QByteArrayList{ "Connecting....\nChip is ESP32\n" } << QStringList{ "Connecting....", "Chip is ESP32" };
    QTest::newRow("line in pieces") << QByteArrayList{ "Conn", "ecting", "....\n" } << QStringList{ "Connecting...." };
    QTest::newRow("progress overwrites itself")
        << QByteArrayList{ "Writing (10 %)\r", "Writing (20 %)\r", "Writing (100 %)\r\nLeaving...\n" }
        << QStringList{ "Writing (100 %)", "Leaving..." };
    QTest::newRow("Windows line ends") << QByteArrayList{ "one\r\ntwo\r\n" } << QStringList{ "one", "two" };
    QTest::newRow("shorter text after a return") << QByteArrayList{ "100000\r1\n" } << QStringList{ "1" };
    QTest::newRow("empty line kept") << QByteArrayList{ "a\n\nb\n" } << QStringList{ "a", "", "b" };
#ifdef Q_OS_WIN
    QTest::newRow("console code page") << QByteArrayList{ "caf\x82\r\n" } << QStringList{ QString::fromUtf8("café") };
#else
    QTest::newRow("UTF-8 cut in two") << QByteArrayList{ "caf\xc3", "\xa9\n" } << QStringList{ QString::fromUtf8("café") };
#endif
    QByteArrayList megabyte;
    QStringList rows;
    for (int i = 0; i < 256; ++i)
        megabyte << QByteArray(4096, 'x');
    for (int i = 0; i < 1024; ++i)
        rows << QString(ConsoleText::rowWidth, 'x');
    QTest::newRow("1 MB without a line end wraps") << megabyte << rows;
}

void LogicTest::flasherOutput()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(QStringList, pane);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    ConsoleText console;
    QStringList shown;
    qint64 input = 0, handedOut = 0;
    for (const QByteArray &piece : pieces) {
        input += piece.size();
        for (const ConsoleText::ShownLine &line : console.take(piece)) {
            handedOut += line.text.size();
            if (line.replacesLast)
                shown.last() = line.text;
            else
                shown << line.text;
        }
    }
    QCOMPARE(shown, pane);
    // Linear: a piece hands out what it brought and at most one row again.
    QVERIFY(handedOut <= input + pieces.size() * ConsoleText::rowWidth);
}

void LogicTest::windowsCommandLines()
{
    QCOMPARE(windowsCommandLine("flash", { "COM3", "ili9341" }), QString("cmd /C flash.bat COM3 ili9341"));
    QCOMPARE(windowsCommandLine("driver", {}), QString("cmd /C driver.bat"));
}

// The script gets its arguments as written, its lines come as the console
// shows them, and a "pause" at its end doesn't hold it.
void LogicTest::shippedScriptRuns()
{
    Workspace workspace;
#ifdef Q_OS_WIN
    workspace.writeFile("flash.bat", "@echo off\r\necho %1 %2> flash-args\r\necho caf\x82\r\npause\r\n");
#else
    workspace.writeFile("flash.sh", "echo \"$1 $2\" > flash-args\nprintf 'caf\\303\\251\\n'\nread key\n");
#endif
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    ScriptRun script;
    QStringList shown;
    connect(&script, &ScriptRun::linesShown, [&shown](const QVector<ConsoleText::ShownLine> &lines) {
        for (const ConsoleText::ShownLine &line : lines)
            shown << line.text;
    });
    QSignalSpy ended(&script, &ScriptRun::ended);
    script.start("flash", { "COM3", "ili9341" });
    QVERIFY(ended.wait(30000));
    QCOMPARE(workspace.readFile("flash-args").trimmed(), QByteArray("COM3 ili9341"));
    QVERIFY2(shown.contains(QString::fromUtf8("café")), qPrintable(shown.join('|')));
}

#ifdef Q_OS_WIN
void LogicTest::stoppedScriptEndsWhatItStarted()
{
    Workspace workspace;
    // The script starts a flasher of its own that writes until it is ended.
    workspace.writeFile("flasher.bat", "@echo off\r\n:again\r\necho x>> alive.txt\r\nping -n 2 127.0.0.1 >nul\r\ngoto again\r\n");
    workspace.writeFile("flash.bat", "@echo off\r\nstart /b cmd /c flasher.bat\r\nping -n 60 127.0.0.1 >nul\r\n");
    ScriptRun script;
    script.start("flash", {});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists("alive.txt"), 30000);
    script.stop();
    QVERIFY(QFile::remove("alive.txt"));
    // Nothing to wait for but the flasher's next turns, a second apart.
    QTest::qWait(3000);
    QVERIFY(!QFile::exists("alive.txt"));
}
#endif

// The transfers weigh by their bytes, the flash a quarter; the time left is
// reckoned from the rate so far, and the share done never goes back.
void LogicTest::installationProgress()
{
    InstallProgress progress;
    QCOMPARE(progress.percent(), 0);
    progress.plan(1000, 500);               // with the listing's 400: 2,400 bytes for three quarters
    progress.enter(InstallProgress::Phase::Backup);
    progress.moved(500);
    QCOMPARE(progress.percent(), 28);       // 12.5 for the listing, half of the backup's 31.25
    QCOMPARE(progress.text(28000), QString("28 % – about 1:12 left"));
    progress.enter(InstallProgress::Phase::Flash);
    QCOMPARE(flasherPercent("Writing at 0x00012000... (50 %)"), 50);
    QCOMPARE(flasherPercent("Hash of data verified."), -1);
    progress.flashed(flasherPercent("Writing at 0x00012000... (50 %)"));
    QCOMPARE(progress.percent(), 56);
    progress.enter(InstallProgress::Phase::Verify);
    progress.moved(5000);
    QCOMPARE(progress.percent(), 99);       // until the installation is complete
    progress.enter(InstallProgress::Phase::Restore);
    QCOMPARE(progress.percent(), 99);
    progress.enter(InstallProgress::Phase::Done);
    QCOMPARE(progress.percent(), 100);
    QCOMPARE(progress.text(60000), QString("100 %"));
}

void LogicTest::firmwareLogVerdict_data()
{
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<bool>("success");
    QTest::newRow("flasher's last line") << QByteArray("Leaving...\nHard resetting via RTS pin...\n") << true;
    QTest::newRow("RTS mid-line") << QByteArray("xxRTSyy") << true;
    QTest::newRow("lower case only") << QByteArray("hard resetting via rts pin\n") << false;
    QTest::newRow("split over lines") << QByteArray("R\nTS\n") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("RTS, then the flasher's failure")
        << QByteArray("WARNING: Failed to set RTS/DTR\nA fatal error occurred: Failed to connect to ESP32: No serial data received.\n")
        << false;
    QTest::newRow("the flasher's failure before the reset") << QByteArray("A fatal error occurred: MD5 of file does not match data in flash!\n"
                                                                           "Hard resetting via RTS pin...\n") << false;
    QTest::newRow("the flasher crashed") << QByteArray("Hard resetting via RTS pin...\nTraceback (most recent call last):\n") << false;
}

void LogicTest::firmwareLogVerdict()
{
    QFETCH(QByteArray, log);
    Workspace workspace;
    workspace.writeFile("install.log", log);
    QTEST(firmwareLogSucceeded("install.log"), "success");
    QVERIFY(!firmwareLogSucceeded("missing.log"));
}

QTEST_MAIN(LogicTest)
void LogicTest::nextSteps_data()
{
    QTest::addColumn<int>("trouble");
    QTest::addColumn<int>("portError");
    QTest::addColumn<bool>("flashStarted");
    QTest::addColumn<QString>("words");
    const auto row = [](const char *name, Trouble trouble, QSerialPort::SerialPortError error, bool flashStarted,
                        const QString &words) {
        QTest::newRow(name) << int(trouble) << int(error) << flashStarted << words;
    };
    row("port gone", Trouble::PortNotOpened, QSerialPort::DeviceNotFoundError, false,
        "COM3 is gone: plug the receiver in again, choose its port and press Install FW");
    row("port of another kind of trouble", Trouble::PortNotOpened, QSerialPort::UnsupportedOperationError, false,
        "COM3 can't be used: choose the receiver's port and press Install FW again");
    row("link lost after the flash", Trouble::LinkLost, QSerialPort::NoError, true,
        "COM3 went away: plug the receiver in again, choose its port and press Install FW; the saved data will be "
        "offered then");
    row("nothing answers: the bridges found", Trouble::NothingAnswers, QSerialPort::NoError, false,
        "nothing answers on COM3: is the receiver switched on, and is this its port? USB-to-serial bridges found: "
        "COM5 (CP2102 USB to UART Bridge Controller)");
    row("cancelled before the flash", Trouble::Cancelled, QSerialPort::NoError, false, "the receiver still holds its data");
    row("cancelled after it", Trouble::Cancelled, QSerialPort::NoError, true, "press Install FW to put the saved data back");
}

// Each ending's next step, worded for where the data is.
void LogicTest::nextSteps()
{
    QFETCH(int, trouble);
    QFETCH(int, portError);
    QFETCH(bool, flashStarted);
    const QVector<SeenPort> ports{ { "COM1" }, { "COM5", true, 0x10c4, 0xea60, "CP2102 USB to UART Bridge Controller" } };
    const TroubleContext context{ "COM3", QSerialPort::SerialPortError(portError), ports, flashStarted };
    QTEST(nextStep(Trouble(trouble), context), "words");
}

#include "tst_logic.moc"
