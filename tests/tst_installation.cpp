// The installation's engine as a table: each row feeds a script of events
// and expects what the engine answers, log lines and actions in order, from
// the point where the row leaves the common road. No port, no window, no
// real time: timers are events like any other.

#include "installer/installation.h"
#include "installer/restorerecord.h"
#include "workspace.h"

#include <QDir>
#include <QRegularExpression>
#include <QtTest>

namespace {
#ifdef Q_OS_LINUX
const QString portGroupHint = "; on Linux your user must also be in the group that owns the port (dialout on most systems)";
#else
const QString portGroupHint;
#endif

// The engine's answers as words: actions in brackets, log lines as they
// stand, eight-digit folder names as NNNNNNNN. Timers that stop are left
// out, and each transfer's own limit; the others that start are shown.
QString describe(const InstallAction &action, const QString &file)
{
    static const char *const timers[] = { "check", "quiet", "limit", "reopen", "portwait", "exchange" };
    static const char *const questions[] = { "incomplete", "pending", "other", "language" };
    switch (action.kind) {
    case InstallAction::Begin: return "[begin] " + action.text;
    case InstallAction::Log:
        return QString(action.text).replace(QRegularExpression("(?<![0-9])(?!11111111|22222222|87654321)[0-9]{8}(?![0-9])"), "NNNNNNNN")
                                   .replace(QRegularExpression("saved on (.*?) (in the|were|stays|is)"), "saved on DATE \\2");
    case InstallAction::Status: return "[status] " + action.text;
    case InstallAction::OpenLink: return "[open]";
    case InstallAction::CloseLink: return "[close]";
    case InstallAction::AskForListing: return "[list]";
    case InstallAction::SaveFile: return "[save " + file + "]";
    case InstallAction::ReadFile: return "[read " + action.text + "]";
    case InstallAction::SendFile: return "[send " + action.text + "]";
    case InstallAction::Flash: return "[flash " + action.text + " " + action.detail + "]";
    case InstallAction::ListPorts: return "[ports]";
    case InstallAction::SelectPort: return "[select " + action.text + "]";
    case InstallAction::Refuse: return "[refuse " + action.text + "]";
    case InstallAction::Ask: return QString("[ask ") + questions[action.number] + (action.value ? " yes]" : " no]");
    case InstallAction::StartTimer:
        // The quiet line's wait, cut short after boot text.
        if (action.number == int(Installation::Timer::Quiet) && action.value < InstallTimings().lateAnswerMs)
            return "[quiet soon]";
        return QString("[") + timers[action.number] + "]";
    case InstallAction::StopTimer:
    case InstallAction::Plan:
    case InstallAction::Progress:
        break;
    case InstallAction::AllowCancel: return action.number ? "[cancel on]" : "[cancel off]";
    case InstallAction::GiveUpExchange: return "[give up]";
    case InstallAction::Restart: return "[restart]";
    case InstallAction::End: return "[end]";
    }
    return QString();
}

// Plays the window and the receiver for the engine, one scripted event at a
// time. Files saved into "files" hold their name, as long as listed.
class Driver
{
public:
    Driver() { workspace.installDemoRelease(); }

    QStringList run(const QString &script)
    {
        for (const QString &event : script.split("; ", Qt::SkipEmptyParts))
            feed(event.trimmed());
        return transcript;
    }

    Workspace workspace;
    Installation engine;
    QString question;               // the words of the latest question, its dates as DATE

private:
    void feed(const QString &event)
    {
        const QString word = event.section(':', 0, 0);
        const QString value = event.section(':', 1);
        // The events that carry nothing.
        static const QHash<QString, void (Installation::*)()> plain = {
            { "opened", &Installation::linkOpened }, { "closed", &Installation::linkClosed },
            { "active", &Installation::lineActive }, { "restarted", &Installation::restarted },
            { "uploaded", &Installation::uploadEnded }, { "cancel", &Installation::cancel },
        };
        if (plain.contains(word))
            (engine.*plain.value(word))();
        else if (word == "notOpened")
            engine.linkNotOpened(value == "gone" ? QSerialPort::DeviceNotFoundError : QSerialPort::PermissionError);
        else if (word == "lost")
            engine.linkLost("connection lost");
        else if (word == "start")
            engine.start({ "COM3", "ili9341", "ENG", ports });
        else if (word == "list")
            listed(value);
        else if (word == "nothing")
            engine.listed({ 4096, 0, {}, true });
        else if (word == "broken")
            engine.listed({ 4096, 7, {}, false });
        else if (word == "full")
            engine.listed({ 4096, 4096, {}, true });
        else if (word == "ports")
            ports = seenPorts(value);
        else if (word == "write")
            workspace.writeFile(value.section('=', 0, 0), value.section('=', 1).toUtf8());
        else if (word == "record")
            writeRecord(value.section('=', 0, 0), value.section('=', 1));
        else if (word == "link")
            QFile::link(workspace.path() + "/" + value.section('=', 1), value.section('=', 0, 0));
        else if (word == "unreadable") {
            QFile::remove(value);
            QDir().mkpath(value);
        } else if (word == "saved") {
            workspace.writeFile("files/" + file, file.toUtf8().leftJustified(int(size), '.', true));
            engine.fileSaved(false);
        } else if (word == "empty")
            engine.fileSaved(true);
        else if (word == "notSaved")
            engine.fileNotSaved(value);
        else if (word == "read")
            engine.readBack(value == "none" ? std::nullopt
                            : std::optional<QByteArray>(value == "ok" ? sentOrSaved() : QByteArray(value == "empty" ? "" : "other")));
        else if (word == "flashed") {
            workspace.writeFile("firmware/install.log", value == "failed" ? "Connecting...\n" : "Hard resetting via RTS pin...\n");
            engine.flashEnded();
        } else if (word == "timer")
            engine.timerExpired(Installation::Timer(QStringList{ "check", "quiet", "limit", "reopen", "portwait", "exchange" }.indexOf(value)));
        else if (word == "yes" || word == "no" || word == "forget")
            engine.answered(asked, word == "yes" ? Installation::Answer::Yes
                                   : word == "no" ? Installation::Answer::No : Installation::Answer::Forget);
        else
            qFatal("unknown event %s", qPrintable(event));
        take();
    }

    // "list:ap.csv=3,city.csv=4" lists those files; "list:sent" what the
    // engine sent whole, "list:short" the last one a byte short, "list:lacking" without it.
    void listed(const QString &value)
    {
        ReceiverListing listing{ 4096, 7, {}, true };
        if (value == "sent" || value == "short" || value == "lacking") {
            for (auto it = sent.cbegin(); it != sent.cend(); ++it) {
                if (it.key() != file || value != "lacking")
                    listing.entries.append({ it.key(), quint32(it.value().size() - (it.key() == file && value == "short")) });
            }
        } else {
            for (const QString &entry : value.split(',', Qt::SkipEmptyParts))
                listing.entries.append({ entry.section('=', 0, 0), entry.section('=', 1).toUInt() });
            rows = listing.entries;
        }
        engine.listed(listing);
    }

    void take()
    {
        for (const InstallAction &action : engine.takeActions()) {
            if (action.kind == InstallAction::SaveFile) {
                file = rows.at(action.number).name;
                size = rows.at(action.number).size;
            } else if (action.kind == InstallAction::SendFile || action.kind == InstallAction::ReadFile) {
                file = action.text;
                if (action.kind == InstallAction::SendFile)
                    sent.insert(file, action.content);
            } else if (action.kind == InstallAction::Ask) {
                asked = Installation::Question(action.number);
                question = QString(action.text).replace(QRegularExpression("saved on (.*?) (are|were)"), "saved on DATE \\2");
            } else if (action.kind == InstallAction::ListPorts) {
                listings << ports;
            }
            const bool transferLimit = action.kind == InstallAction::StartTimer && action.number == int(Installation::Timer::Exchange);
            const bool progress = action.kind == InstallAction::Plan || action.kind == InstallAction::Progress;
            if (action.kind != InstallAction::StopTimer && !transferLimit && !progress)
                transcript << describe(action, file);
        }
        // The ports listed, as the window reports them back.
        while (!listings.isEmpty()) {
            engine.portsSeen(listings.takeFirst());
            take();
        }
    }

    // record:FOLDER=SEQUENCE: a pending record there of an ap.csv holding
    // "ap.", as a first try that saved it leaves it; the sequence as written.
    void writeRecord(const QString &folder, const QString &sequence)
    {
        workspace.writeFile(folder + "/ap.csv", "ap.");
        workspace.writeFile(folder + "/restore-pending.json",
                            "{ \"sequence\": " + sequence.toUtf8() + ", \"saved\": \"2026-01-02T03:04:05Z\", \"files\": [ "
                            "{ \"name\": \"ap.csv\", \"folder\": \".\", \"size\": 3, \"sha256\": \""
                            + sha256Of("ap.") + "\" } ] }");
    }

    // What the engine sent of the file, or else what it saved of it.
    QByteArray sentOrSaved() const
    {
        return sent.contains(file) ? sent.value(file) : workspace.readFile("files/" + file);
    }

    // "COM3=10c4/ea60,COM5": ports, with their USB ids or none.
    static QVector<SeenPort> seenPorts(const QString &value)
    {
        QVector<SeenPort> seen;
        for (const QString &port : value.split(',', Qt::SkipEmptyParts)) {
            const QString ids = port.section('=', 1);
            seen.append({ port.section('=', 0, 0), !ids.isEmpty(), quint16(ids.section('/', 0, 0).toUInt(nullptr, 16)),
                          quint16(ids.section('/', 1).toUInt(nullptr, 16)) });
        }
        return seen;
    }

    QStringList transcript;
    QVector<SeenPort> ports;
    QVector<QVector<SeenPort>> listings;
    QVector<ListEntry> rows;
    QMap<QString, QByteArray> sent;
    QString file;
    quint32 size = 0;
    Installation::Question asked = Installation::Question::IncompleteBackup;
};

// The common road: a receiver holding ap.csv and city.csv, saved, flashed,
// back empty, both and the language file put back and read back equal.
const QString listedBefore = "start; opened; list:ap.csv=3,city.csv=4";
const QString flashed = listedBefore + "; saved; saved; closed; flashed; opened";
const QString restored = flashed + "; list:; uploaded; list:sent; uploaded; list:sent; uploaded; list:sent";
const QString beforeReopening = listedBefore + "; saved; saved; closed; flashed";
// The first try's restore cut short by a lost link: its record stays.
const QString firstTryLost = flashed + "; list:; lost";
const QStringList wholeInstallation = {
    "[begin] -> Start installation...", "[open]", "...connected to device", "[check]", "[limit]", "[list]", "[quiet]",
    "", "-> Save data from device:", "ap.csv", "[save ap.csv]", "city.csv", "[save city.csv]", "[close]",
    "...disconnected", "", "-> Install firmware...", "[status] writing the firmware, please wait...", "[cancel off]", "[ports]", "[flash COM3 ili9341]", "[cancel on]", "...done",
    "[open]", "...connected to device", "[check]", "[limit]", "[list]", "[quiet]", "[status] putting the data back...", "",
    "-> Restore data to device:",
    "ap.csv", "[send ap.csv]", "[list]", "city.csv", "[send city.csv]", "[list]", "preset.csv",
    "[status] file no exist: files/preset.csv", "...skipped", "scan.csv", "[status] file no exist: files/scan.csv",
    "...skipped", "eng.lng", "[send eng.lng]", "[list]", "", "-> Verify restored data:", "[read ap.csv]",
    "ap.csv ...ok", "[read city.csv]", "city.csv ...ok", "[read eng.lng]", "eng.lng ...ok", "",
    "-> Installation complete.", "[restart]", "[end]",
};
// A second try, its backup made: the first try's record, moved aside with
// "files", is named and offered.
const QString secondTry = firstTryLost + "; start; opened; list:ap.csv=";
const QString offered = "...the data saved on DATE in the folder NNNNNNNN is not back on a receiver";
const QString restoredAfterOffer = "; closed; flashed; opened; list:; uploaded; list:sent; uploaded; list:sent; "
                                   "uploaded; list:sent; read:ok; read:ok; read:ok";
const QString notBack = "...the saved data was not put back; it is in the folder files";
}

class InstallationTest : public QObject
{
    Q_OBJECT

private slots:
    void wholeRoad();
    void table_data();
    void table();
    void stepsAndClosing();
    void questionsNameTheSavedData();
};

void InstallationTest::wholeRoad()
{
    Driver driver;
    QCOMPARE(driver.run(restored + "; read:ok; read:ok; read:ok"), wholeInstallation);
    QVERIFY(!driver.engine.isRunning());
    QCOMPARE(driver.workspace.readFile("files/city.csv"), QByteArray("city"));
}

void InstallationTest::table_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("tail");      // the answers the script ends with, " | " between them

    // Before the flash.
    QTest::newRow("port can't be opened") << "start; notOpened"
        << "[open] | [give up] | ...ESP32: can't use the port COM3; Cancel ends the installation | ...COM3 is in use by another "
           "program (a serial monitor, another flasher) or not permitted: close the other program and press Install FW again"
               + portGroupHint;
    QTest::newRow("port gone") << "start; notOpened:gone"
        << "...COM3 is gone: plug the receiver in again, choose its port and press Install FW";
    QTest::newRow("waiting for Cancel, Cancel") << "start; notOpened; cancel"
        << "...cancelled | ...the receiver still holds its data | [status] installation cancelled | [give up] | [end]";
    QTest::newRow("the wait is said; asked again once the line is quiet") << "start; opened; active; timer:check; timer:quiet"
        << "[quiet] | ...waiting for the receiver to start | [list] | [quiet]";
    QTest::newRow("nothing answers: the port and the bridges found") << "ports:COM1,COM5=10c4/ea60; start; opened; timer:check"
        << "...waiting for the receiver to start | ...nothing answers on COM3: is the receiver switched on, and is this its port? "
           "USB-to-serial bridges found: COM5";
    QTest::newRow("boot text: asked again soon") << "start; opened; active; restarted; active; timer:quiet"
        << "[quiet] | [quiet soon] | [quiet soon] | [list] | [quiet]";
    QTest::newRow("silent receiver, Cancel") << "start; opened; timer:check; timer:limit; no"
        << "[give up] | [ask incomplete no] | ...can't read the file list of the device"
           " | [status] installation not complete: see the log pane | [give up] | [end]";
    QTest::newRow("broken list, Yes") << "start; opened; broken; yes"
        << "[ask incomplete no] | ...installing without a complete backup |  | -> Save data from device: | [close]";
    QTest::newRow("a name twice is no true list") << "start; opened; list:ap.csv=3,ap.csv=3" << "[quiet] | [ask incomplete no]";
    QTest::newRow("holds nothing, and says so: backup skipped") << "start; opened; nothing"
        << "[quiet] | ...filesystem not found on device | [close]";
    QTest::newRow("lists nothing but uses bytes: an empty backup") << "start; opened; list:"
        << "[quiet] |  | -> Save data from device: | [close]";
    QTest::newRow("a check after the listing does nothing") << listedBefore + "; timer:check" << "[save ap.csv]";
    QTest::newRow("empty file") << listedBefore + "; empty" << "[save ap.csv] | ...skipped | city.csv | [save city.csv]";
    QTest::newRow("file not saved") << listedBefore + "; notSaved:PC: can't write downloading file"
        << "[save ap.csv] | [give up] | ...PC: can't write downloading file; Cancel ends the installation"
           " | ...the receiver still holds its data: free some space on the PC, then press Install FW again";
    QTest::newRow("a record that can't be written: nothing flashed")
        << listedBefore + "; saved; unreadable:files/restore-pending.json; saved"
        << "[save city.csv] | ...the record of the data in the folder files can't be read; that data is not offered | [give up]"
           " | ...PC: can't write the record of the backup in the folder files; Cancel ends the installation"
           " | ...the receiver still holds its data: free some space on the PC, then press Install FW again";
    QTest::newRow("a stalled file is asked for again") << listedBefore + "; timer:exchange; list:ap.csv=3,city.csv=4"
        << "[give up] | ...the receiver stopped answering during ap.csv; it is asked for again | [check] | [limit] | [list] | [quiet] | [save ap.csv]";
    QTest::newRow("restarted thrice in the backup: nothing flashed")
        << listedBefore + "; restarted; list:ap.csv=3; restarted; list:ap.csv=3; restarted"
        << "[quiet] | [save ap.csv] | [give up] | ...the receiver restarted during ap.csv; Cancel ends the installation"
           " | ...the receiver still holds its data: switch it off and on, then press Install FW again";
    QTest::newRow("gone after a restart in the backup") << listedBefore + "; restarted; timer:limit"
        << "[quiet] | [give up] | ...the receiver stopped answering during ap.csv; Cancel ends the installation"
           " | ...the receiver still holds its data: switch it off and on, then press Install FW again";
    QTest::newRow("link lost") << listedBefore + "; lost"
        << "[save ap.csv] | ...connection lost | ...COM3 went away: plug the receiver in again, choose its port and press Install FW"
           " | [status] installation not complete: see the log pane | [give up] | [end]";
    QTest::newRow("Cancel during the backup") << listedBefore + "; cancel"
        << "[save ap.csv] | ...cancelled | ...the receiver still holds its data | [status] installation cancelled | [give up] | [end]";
    QTest::newRow("a timer after Cancel does nothing") << "start; opened; cancel; timer:check; timer:limit"
        << "[quiet] | ...cancelled | ...the receiver still holds its data | [status] installation cancelled | [give up] | [end]";

    // The data that isn't back yet, across tries: each record named after
    // the backup, with its folder then, and offered by what the receiver holds.
    QTest::newRow("the record's own copy on the receiver: Yes") << secondTry + "3; saved; yes; closed; flashed; opened; list:"
        << "[save ap.csv] | " + offered + " | [ask pending yes] | [close] | ...disconnected |  | -> Install firmware..."
           " | [status] writing the firmware, please wait... | [cancel off] | [ports] | [flash COM3 ili9341] | [cancel on] | ...done"
           " | [open] | ...connected to device | [check] | [limit] | [list] | [quiet] | [status] putting the data back... |  "
           "| -> Restore data to device: | ap.csv | ...put back from the folder NNNNNNNN | [send ap.csv]";
    QTest::newRow("a beginning of its copy: Yes") << secondTry + "2; saved" << "[save ap.csv] | " + offered + " | [ask pending yes]";
    QTest::newRow("data of the receiver's own: No by default") << secondTry + "5; saved" << offered + " | [ask pending no]";
    QTest::newRow("the receiver lacks it: Yes") << firstTryLost + "; start; opened; nothing"
        << "...filesystem not found on device | ...the data saved on DATE in the folder files is not back on a receiver | [ask pending yes]";
    QTest::newRow("No: not now, offered again next time") << secondTry + "5; saved; no" + restoredAfterOffer.section("; read", 0, 0)
           + "; read:ok; read:ok; start; opened; list:ap.csv=5; saved"
        << "[save ap.csv] | " + offered + " | [ask pending no]";
    QTest::newRow("No: the data named as staying") << secondTry + "5; saved; no"
        << "[ask pending no] | ...the data saved on DATE stays in the folder NNNNNNNN; it is offered again next time | [close]";
    QTest::newRow("Forget: its record retired, the data named") << secondTry + "5; saved; forget"
        << "[ask pending no] | ...the data saved on DATE is not offered any more; it stays in the folder NNNNNNNN | [close]";
    QTest::newRow("forgotten: not offered again, this try's own record is")
        << secondTry + "5; saved; forget; cancel; start; opened; list:ap.csv=5; saved"
        << "[save ap.csv] | " + offered + " | [ask pending yes]";
    QTest::newRow("Yes over the receiver's own data: that data kept under a record")
        << secondTry + "5; saved; yes" + restoredAfterOffer + "; start; opened; nothing"
        << "...filesystem not found on device | ...the data saved on DATE in the folder files is not back on a receiver"
           " | [ask pending yes]";
    QTest::newRow("Yes over the receiver's own data: said before the flash") << secondTry + "5; saved; yes"
        << "[ask pending no] | ...the receiver's own ap.csv stay in the folder files, to be offered next time | [close]";
    QTest::newRow("two records: both named, offered newest first")
        << "record:11111111=4; record:22222222=4; start; opened; nothing; no"
        << "...the data saved on DATE in the folder 11111111 is not back on a receiver"
           " | ...the data saved on DATE in the folder 22222222 is not back on a receiver | [ask pending yes]"
           " | ...the data saved on DATE stays in the folder 11111111; it is offered again next time | [ask pending yes]";
    QTest::newRow("a taken record is written again, none beside it")
        << "record:11111111=4; start; opened; list:ap.csv=3; saved; yes; cancel; start; opened; nothing"
        << "...filesystem not found on device | ...the data saved on DATE in the folder 11111111 is not back on a receiver"
           " | [ask pending yes]";
    QTest::newRow("a damaged record is named every time, and stays")
        << "write:11111111/restore-pending.json=[; start; opened; nothing; no; closed; flashed; opened; list:; uploaded; list:sent; "
           "read:ok; start; opened; nothing"
        << "...filesystem not found on device | ...the record of the data in the folder 11111111 can't be read; that data is not offered"
           " | [close]";
    QTest::newRow("a record whose file changed is named, not offered") << firstTryLost + "; write:files/city.csv=cut; start; opened; list:"
        << " | -> Save data from device: | ...older backup moved to NNNNNNNN | ...the data saved on DATE in the folder NNNNNNNN is not"
           " offered: city.csv is not as it was saved | [close]";
    QTest::newRow("a sequence past a double's whole numbers is damaged") << "record:11111111=9007199254740993; start; opened; nothing"
        << "...the record of the data in the folder 11111111 can't be read; that data is not offered | [close]";
    QTest::newRow("a sequence that is no whole number is damaged") << "record:11111111=2.5; start; opened; nothing"
        << "...the record of the data in the folder 11111111 can't be read; that data is not offered | [close]";
    QTest::newRow("at the largest sequence, the next record is still read")
        << "record:11111111=9007199254740991; start; opened; list:ap.csv=5; saved; no; closed; flashed; lost; start; opened; nothing"
        << "...the data saved on DATE in the folder files is not back on a receiver"
           " | ...the data saved on DATE in the folder 11111111 is not back on a receiver | [ask pending yes]";
    // QFile::link makes a shortcut on Windows, not a link; these rows need a real one.
#ifndef Q_OS_WIN
    QTest::newRow("a linked folder is named, never read") << "record:elsewhere=4; link:87654321=elsewhere; start; opened; nothing"
        << "...filesystem not found on device | ...the folder 87654321 is a link to another place; what it holds is not read | [close]";
    QTest::newRow("a linked files is moved aside as a link") << "record:elsewhere=4; link:files=elsewhere; start; opened; list:"
        << " | -> Save data from device: | ...older backup moved to NNNNNNNN"
           " | ...the folder NNNNNNNN is a link to another place; what it holds is not read | [close]";
    QTest::newRow("a files linked to nothing is moved aside too") << "link:files=gone; start; opened; list:"
        << " | -> Save data from device: | ...older backup moved to NNNNNNNN"
           " | ...the folder NNNNNNNN is a link to another place; what it holds is not read | [close]";
#endif
    QTest::newRow("a complete try leaves no record") << restored + "; read:ok; read:ok; read:ok; start; opened; list:"
        << "[quiet] |  | -> Save data from device: | ...older backup moved to NNNNNNNN | [close]";
    QTest::newRow("a skipped backup puts back only the language file")
        << "write:files/ap.csv=another receiver's; start; opened; nothing; closed; flashed; opened; list:"
        << "[quiet] | [status] putting the data back... |  | -> Restore data to device: | eng.lng | [send eng.lng]";

    QTest::newRow("another language on the receiver: asked, its own the default")
        << "start; opened; list:ap.csv=3,rus.lng=4; saved; saved" << "[save rus.lng] | [ask language no]";
    QTest::newRow("its own language put back") << "start; opened; list:ap.csv=3,rus.lng=4; saved; saved; no; closed; flashed; "
                                                  "opened; list:; uploaded; list:sent"
        << "[status] file no exist: files/scan.csv | ...skipped | rus.lng | [send rus.lng]";
    QTest::newRow("its own language: said before the flash") << "start; opened; list:ap.csv=3,rus.lng=4; saved; saved; no"
        << "[ask language no] | ...the receiver's own language, Русский, is put back | [close]";

    // The flash, and the receiver after it.
    QTest::newRow("Cancel while flashing does nothing") << listedBefore + "; saved; saved; closed; cancel"
        << "[cancel off] | [ports] | [flash COM3 ili9341]";
    QTest::newRow("flash failed: the data named") << listedBefore + "; saved; saved; closed; flashed:failed"
        << "[flash COM3 ili9341] | [cancel on] | ...failed | " + notBack + " | ...the flasher's words are above, and all of them in "
           "firmware/install.log: check that the receiver is plugged in and no other program uses COM3, then press Install FW to try"
           " again; the saved data will be offered then | [status] installation not complete: see the log pane | [give up] | [end]";
    QTest::newRow("port back after a while") << beforeReopening + "; notOpened; timer:reopen; opened"
        << "[open] | [limit] | [portwait] | [reopen] | [ports] | [open] | ...connected to device | [check] | [limit] | [list] | [quiet]";
    QTest::newRow("port back under another name") << "ports:COM3=10c4/ea60,COM1; " + beforeReopening + "; ports:COM1,COM9=10c4/ea60; notOpened"
        << "[reopen] | [ports] | ...the receiver is back on COM9 | [select COM9] | [open]";
    QTest::newRow("two new ports: the wait is said, nothing guessed")
        << "ports:COM3; " + beforeReopening + "; ports:COM8,COM9; notOpened; timer:portwait"
        << "[reopen] | [ports] | ...waiting for COM3 to come back";
    QTest::newRow("a new port of another kind is not taken")
        << "ports:COM3=10c4/ea60; " + beforeReopening + "; ports:COM9=1a86/7523; notOpened; timer:portwait"
        << "[reopen] | [ports] | ...waiting for COM3 to come back";
    QTest::newRow("port never back") << beforeReopening + "; notOpened; timer:limit"
        << "[ports] | ...can't open COM3 again | " + notBack + " | ...plug the receiver in again, choose its port and press Install FW;"
           " the saved data will be offered then | [status] installation not complete: see the log pane | [give up] | [end]";
    QTest::newRow("receiver silent after the flash") << flashed + "; timer:check; timer:limit"
        << "[give up] | ...the receiver did not answer after the firmware was written | " + notBack + " | ...switch the receiver off and"
           " on, then press Install FW; the saved data will be offered then | [status] installation not complete: see the log pane"
           " | [give up] | [end]";
    QTest::newRow("restarted after the flash: asked again soon") << flashed + "; restarted; timer:quiet"
        << "[quiet] | [quiet soon] | [list] | [quiet]";
    QTest::newRow("a name twice after the flash: asked again") << flashed + "; list:ap.csv=3,ap.csv=3; timer:quiet"
        << "[quiet] | [quiet] | [list] | [quiet]";
    QTest::newRow("the receiver's own data, saved aside; No") << flashed + "; list:ap.csv=5; read:other; no"
        << "[read ap.csv] | ...the receiver's own ap.csv saved in the folder NNNNNNNN | [ask other no] | " + notBack + " | ...plug in the"
           " receiver the data was saved from, choose its port and press Install FW; the saved data will be offered then"
           " | [status] installation not complete: see the log pane | [give up] | [end]";
    QTest::newRow("the receiver's own data, Yes") << flashed + "; list:ap.csv=5; read:other; yes"
        << "[ask other no] | ...the receiver's own ap.csv stay in the folder NNNNNNNN, to be offered next time"
           " | [status] putting the data back... |  | -> Restore data to device: | ap.csv | [send ap.csv]";
    QTest::newRow("the receiver's own data written over: named next time, the newest")
        << flashed + "; list:ap.csv=5; read:other; yes; lost; start; opened; nothing"
        << "...the data saved on DATE in the folder NNNNNNNN is not back on a receiver"
           " | ...the data saved on DATE in the folder files is not back on a receiver | [ask pending yes]";
    QTest::newRow("an empty file after the flash asks nothing") << flashed + "; list:ap.csv=0; read:empty"
        << "[read ap.csv] | [status] putting the data back... |  | -> Restore data to device: | ap.csv | [send ap.csv]";
    QTest::newRow("the same data after the flash asks nothing") << flashed + "; list:ap.csv=3; read:ok"
        << "[read ap.csv] | [status] putting the data back... |  | -> Restore data to device: | ap.csv | [send ap.csv]";
    QTest::newRow("this try's own backup on the receiver is no other data")
        << secondTry + "3,city.csv=2; saved; saved; yes; closed; flashed; opened; list:ap.csv=3,city.csv=2; read:ok; read:ok"
        << "[read city.csv] | [status] putting the data back... |  | -> Restore data to device: | ap.csv"
           " | ...put back from the folder NNNNNNNN | [send ap.csv]";

    // The restore.
    QTest::newRow("stopped upload sent again, then given up") << flashed + "; list:; uploaded; list:lacking; uploaded; list:lacking"
        << "[send ap.csv] | [list] | ...ap.csv is sent again | [send ap.csv] | [list] | ...ap.csv was not put back whole | city.csv | [send city.csv]";
    QTest::newRow("short once, sent again") << flashed + "; list:; uploaded; list:short; uploaded; list:sent"
        << "[list] | ...ap.csv is sent again | [send ap.csv] | [list] | city.csv | [send city.csv]";
    QTest::newRow("restarted during an upload: sent again") << flashed + "; list:; restarted; list:"
        << "[give up] | ...the receiver restarted during ap.csv; it is sent again | [check] | [limit] | [list] | [quiet] | [send ap.csv]";
    QTest::newRow("cut thrice: not put back, the others go on") << flashed + "; list:; restarted; list:; timer:exchange; list:; restarted; list:"
        << "...the receiver restarted during ap.csv | [check] | [limit] | [list] | [quiet] | ...ap.csv was not put back whole | city.csv | [send city.csv]";
    QTest::newRow("an unreadable backup file doesn't stop the others")
        << beforeReopening + "; unreadable:files/city.csv; opened; list:; uploaded; list:sent"
        << "city.csv | [status] PC: can't open uploading file | ...PC: can't open uploading file for city.csv | preset.csv"
           " | [status] file no exist: files/preset.csv | ...skipped | scan.csv | [status] file no exist: files/scan.csv | ...skipped"
           " | eng.lng | [send eng.lng]";
    QTest::newRow("differs once, sent again") << restored + "; read:other; uploaded; list:sent; read:ok"
        << "ap.csv ...differs | ...ap.csv is sent again | [send ap.csv] | [list] | [read ap.csv] | ap.csv ...ok | [read city.csv]";
    QTest::newRow("differs twice") << restored + "; read:other; uploaded; list:sent; read:none; read:ok; read:ok"
        << "ap.csv ...differs | ...ap.csv was not put back whole | [read city.csv] | city.csv ...ok | [read eng.lng] | eng.lng ...ok | "
           + notBack + " | ...switch the receiver off and on, then press Install FW; the saved data will be offered then"
           " | [status] installation not complete: see the log pane | [give up] | [end]";
    QTest::newRow("not enough free space: refused, nothing sent") << flashed + "; full"
        << "ap.csv | [refuse ESP32: not enough free space] | [give up] | ...ESP32: not enough free space for ap.csv; Cancel ends the"
           " installation | ...the receiver has no room for its data: press Install FW again; the saved data will be offered then";
    QTest::newRow("Cancel during the verification") << restored + "; read:ok; cancel"
        << "[read city.csv] | ...cancelled | " + notBack + " | ...press Install FW to put the saved data back"
           " | [status] installation cancelled | [give up] | [end]";
}

void InstallationTest::table()
{
    QFETCH(QString, script);
    QFETCH(QString, tail);
    Driver driver;
    const QStringList transcript = driver.run(script);
    const QStringList expected = tail.split(" | ");
    QCOMPARE(transcript.mid(transcript.size() - expected.size()), expected);
}

// installStat as the demo launchers and the tests wait for it, and the
// questions a close must ask first.
void InstallationTest::stepsAndClosing()
{
    Driver driver;
    const QList<QPair<QString, int>> steps = {
        { "start", 1 }, { "opened", 1 }, { "list:ap.csv=3", 2 }, { "saved", 3 }, { "closed", 4 },
        { "flashed", 4 }, { "opened", 4 }, { "full", 5 }, { "cancel", 0 },
    };
    const QString notBackYet = "The receiver's data is not back on it yet. Quit anyway? It stays in the folder files.";
    for (const auto &step : steps) {
        driver.run(step.first);
        QCOMPARE(driver.engine.step(), step.second);
        if (step.first == "closed")
            QVERIFY(driver.engine.questionBeforeClosing().startsWith("The firmware is being written."));
        if (step.first == "opened" && step.second == 4)
            QCOMPARE(driver.engine.questionBeforeClosing(), notBackYet);
    }
    // Until the next installation starts.
    QCOMPARE(driver.engine.questionBeforeClosing(), notBackYet);
    driver.run("start");
    QVERIFY(driver.engine.questionBeforeClosing().isEmpty());
}

// The data-safety question names saved data a silent receiver may have lost
// with its firmware; the offer names the receiver's own data beside it.
void InstallationTest::questionsNameTheSavedData()
{
    Driver driver;
    driver.run("record:11111111=4; start; opened; broken");
    QCOMPARE(driver.question, QString("The files on the receiver can't be read, so they can't be saved. Install the firmware "
                                      "anyway? Its stations, presets and settings will be lost. If it has no firmware after an "
                                      "earlier try, its stations and settings saved on DATE are in the folder 11111111."));
    driver.run("no; start; opened; list:ap.csv=5,city.csv=2; saved; saved");
    QCOMPARE(driver.question, QString("The stations and settings saved on DATE were not put back on the receiver. Put them back "
                                      "after the firmware is written? The receiver holds stations and settings of its own that "
                                      "differ from them (ap.csv); those stay saved in the folder files."));
}

QTEST_APPLESS_MAIN(InstallationTest)
#include "tst_installation.moc"
