#ifndef INSTALLATION_H
#define INSTALLATION_H

// The firmware installation as an engine of its own. It holds the
// installation's state and makes every decision; it touches no widget and no
// port. The window tells it what happened through the event functions below
// and carries out what it answers, the actions taken with takeActions().
// Its waits are actions too (start a timer, and the timer's expiry is an
// event), so a whole installation runs as a table of events in a test.
// Files it handles itself: the backup folder, the record of the data that
// isn't back yet (installer/restorerecord.h) and the flashing script's log.

#include "device/replies.h"
#include "installer/nextstep.h"
#include "installer/portchoice.h"
#include "installer/progress.h"
#include "installer/restorecheck.h"
#include "installer/restorerecord.h"
#include "installer/timings.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

// What the user chose for this installation.
struct InstallChoices
{
    QString port;
    QString display;                // the display controller, for the flashing script
    QString languageCode;           // "ENG" ...: the language file put back
    QVector<SeenPort> ports;        // the ports listed as the installation starts
};

struct InstallAction
{
    enum Kind {
        Begin,          // lock the controls, show Cancel; text: the log pane's only line
        Log,            // text: a line for the log pane
        Status,         // text: for the status bar
        OpenLink,       // text: the port
        CloseLink,
        AskForListing,  // MEMORY, then LIST; whatever exchange is pending is given up
        SaveFile,       // text: the file, value: its listed size, number: its row; saved into "files"
        ReadFile,       // text: the file, value: its size; read into memory
        SendFile,       // text: the file, content: its bytes
        ListPorts,      // the serial ports the system lists now
        SelectPort,     // text: the port, chosen in the port list
        Flash,          // text: the port, detail: the display controller
        Ask,            // number: the Question, text: its words, value: 1 when Yes is the default
        Refuse,         // text: a refusal for a box of its own, which the installation doesn't wait for
        Plan,           // value: the bytes the backup moves on the wire, number: those the restore moves
        Progress,       // number: the InstallProgress::Phase entered
        StartTimer,     // number: the Timer, value: milliseconds
        StopTimer,      // number: the Timer
        AllowCancel,    // number: 1 or 0
        GiveUpExchange, // the pending exchange is dropped: the link is idle
        Restart,        // the receiver's restart request
        End,            // unlock the controls, hide Cancel, close an open question
    };
    explicit InstallAction(Kind kind = Log) : kind(kind) {}
    Kind kind;
    QString text;
    QString detail;
    int number = 0;
    qint64 value = 0;
    QByteArray content;
};

class Installation
{
public:
    enum class State {
        Idle,
        Connecting,         // opening the link before the flash
        Listing,            // waiting for the receiver's figures and file list
        Asking,             // a question is open
        BackingUp,          // saving every listed file into "files"
        Closing,            // closing the link for the flashing script
        Flashing,
        Reopening,          // after the flash: opening the port again, which may be away
        WaitingForReceiver, // after the flash: waiting for the restarted receiver's list
        Comparing,          // reading the receiver's own copies of the files the restore writes
        Restoring,          // sending the saved files, each checked by the listing after it
        Verifying,          // reading the sent files back
        Recovering,         // a transfer was cut: waiting for the receiver to answer again
        WaitingForCancel,   // it can't go on by itself and said why
    };
    enum class Timer { Check, Quiet, Limit, Reopen, PortWait, Exchange };
    static constexpr int timerCount = 6;
    enum class Question {
        IncompleteBackup,   // the files can't all be saved: flash anyway?
        PendingRecord,      // data saved earlier is not back on the receiver: put it back?
        OtherData,          // the receiver holds other data than what is to go back: over it?
        Language,           // the receiver's language file is another language's: put back the chosen one?
    };
    // No to a pending record means not now; Forget retires its record.
    enum class Answer { Yes, No, Forget };

    explicit Installation(const InstallTimings &timings = InstallTimings());

    // Events.
    void start(const InstallChoices &choices);
    void linkOpened();
    void linkNotOpened(QSerialPort::SerialPortError error = QSerialPort::NoError);
    void linkClosed();
    void linkLost(const QString &words);
    void lineActive();              // bytes came while a listing was awaited
    void listed(const ReceiverListing &listing);
    void fileSaved(bool empty);
    void fileNotSaved(const QString &reason);
    void uploadEnded();
    void readBack(const std::optional<QByteArray> &content);
    void restarted();               // boot text came: what was asked before it is not answered
    void portsSeen(const QVector<SeenPort> &ports);
    void flashEnded();
    void timerExpired(Timer timer);
    void answered(Question question, Answer answer);
    void cancel();

    QVector<InstallAction> takeActions();

    // The limits it waits by, which the window's own waits follow too.
    const InstallTimings &timings() const;

    State state() const;
    bool isRunning() const;
    // The step as installStat counts it.
    int step() const;
    // Whether the line's activity matters now: while a listing is awaited.
    bool listensToTheLine() const;
    // The question to ask before the window may close, or empty text when it
    // may close at once.
    QString questionBeforeClosing() const;

private:
    enum class Transfer { None, Save, Read, Send, ListAfterSend };

    // Everything one installation knows, set back by assigning a fresh one.
    struct Run
    {
        State state = State::Idle;
        State resumeIn = State::Idle;   // what Recovering returns to
        int heldStep = 0;               // the step a question or the wait for Cancel holds
        InstallChoices choices;
        bool afterFlash = false;
        bool restartSeen = false;       // boot text came since the listing was last asked for
        bool heard = false;             // anything came on the line since the link opened
        bool portAway = false;          // after the flash, the port didn't open again: its limits run
        ReceiverListing listing;        // the receiver's files before the flash, then its latest listing
        bool nothingToLose = false;     // it said plainly it holds nothing: the backup is skipped
        QVector<RestoreRecord> toOffer; // pending records not yet put to the user, newest first
        std::optional<RestoreRecord> offered;   // the pending record put to the user
        bool takeOffered = false;       // and the user's Yes
        RestoreRecord plan;             // the data files this try puts back
        std::optional<RestoreRecord> ownRecord; // the record of this try's backup
        qint64 nextSequence = 1;
        int row = -1;                   // the row being saved
        QStringList saved;              // the files this backup saved
        QString receiverLanguage;       // the code of the receiver's own language file, when another's than the chosen one
        QVector<SeenPort> portsBefore;  // as the flash started
        QStringList toCompare;          // the receiver's own copies of files the restore writes
        int compared = -1;
        QMap<QString, QByteArray> othersData;   // those that are saved nowhere
        QString othersFolder;           // where they were saved
        bool dataNotBack = false;       // flashing began, and the saved data is not yet put back whole
        RestoreCheck restore;
        int current = -1;               // the file of the restore being sent or read back
        Transfer transfer = Transfer::None;
        QString transferName;
        QMap<QString, int> interruptions;
        bool skipAfterRecovering = false;
        Question question = Question::IncompleteBackup;
    };

    void act(InstallAction::Kind kind, const QString &text = QString(), int number = 0, qint64 value = 0);
    void enter(InstallProgress::Phase phase);
    void planProgress();
    void log(const QString &line);
    void startTimer(Timer timer, int ms);
    void stopTimer(Timer timer);
    void stopTimers();
    bool waitsFor(Timer timer) const;
    void ask(Question question, const QString &text, bool yesByDefault);

    void beginListingWait(int limitMs);
    void askForListing();
    int quietBeforeAsking() const;
    void listingNeverCame();
    static bool canBeTrue(const ReceiverListing &listing);
    void considerListing();
    void backUpUnlessNothingToLose();
    void considerRecords();
    void offerNextRecord();
    void answeredOffer(Answer answer);
    QStringList ownDataBeside(const RestoreRecord &record) const;
    void considerLanguage();
    void backUp();
    void saveNextFile();
    void saveCurrentFile();
    bool recordThisTry();
    void closeLink();
    void flash();
    void reopen();
    void portNotBack();

    void compareReceiverFiles();
    void compareNextFile();
    void readCompared();
    void recordOthersData();
    void judgeCompared(const std::optional<QByteArray> &content);
    void startRestore();
    void sendNextFile();
    void sendCurrentFile();
    void judgeListedSize();
    void notPutBack();
    void verify();
    void verifyNextFile();
    void retireRecordsPutBack();
    void readCurrentFile();
    void interrupted(bool restart);
    void resume();
    QString dataFolders() const;
    void nameFilesNotPutBack();

    // A wait and an ending say what happened, then on a line of its own what
    // the user can do next.
    void waitForCancel(const QString &reason, Trouble trouble);
    enum class Outcome { Complete, Incomplete };
    // The one ending: the outcome line that is due, then the controls unlocked.
    void end(Outcome outcome, const QString &reason = QString(), std::optional<Trouble> trouble = std::nullopt);
    QString nextStepFor(Trouble trouble, QSerialPort::SerialPortError error = QSerialPort::NoError) const;

    InstallTimings limits;
    Run run;
    // The folders of saved data an ended installation did not put back:
    // closing asks about it until the next installation starts.
    QString notBackAfterEnd;
    QVector<InstallAction> actions;
};

#endif
