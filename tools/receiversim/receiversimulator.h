#ifndef RECEIVERSIMULATOR_H
#define RECEIVERSIMULATOR_H

// A stand-in for the receiver's firmware: serves the receiver's byte protocol
// on the master side of a pseudo-terminal, so that a QSerialPort opens the
// slave path like any serial port. Files live in memory, or in a folder (one
// PC file per receiver file) that a person or a flashing script can inspect
// and change between requests. Tests script misbehaviour through faults().
//
// Like an ESP32, it restarts on a reboot request and after a flash: a
// flashing script leaves a file ".reset" in the folder, and the receiver
// restarts as the next request reaches it, as a board whose USB bridge
// resets it when the port is opened (or at once, when its port leaves the PC
// while it restarts). A restart prints the boot text and answers nothing
// until the firmware runs.
//
// With setResetLinesFile it also follows the DTR and RTS lines as an ESP32
// board does (see ResetLines): esptool's reset into download mode starts the
// ESP32's ROM loader (RomLoader), through which esptool writes the receiver's
// 4 MB flash, and its reset at the end starts the firmware again. The flash
// holds the firmware from 0x10000 and the file system from 0x290000 to its
// end: a write that erases any of the file system's region wipes the
// receiver's files, as a full flash does; one elsewhere keeps them.

#include "receiversim/resetcircuit.h"
#include "receiversim/romloader.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVector>

#include <memory>

class LinePacer;
class ResetLines;
class QSocketNotifier;
class QTimer;

struct ReceiverFaults
{
    QVector<int> pieceSizes;        // cut each reply into pieces of these sizes (rest in one piece)
    int delayMs = 0;                // wait this long before a reply, and between its pieces
    QByteArray strayBeforeReply;    // bytes sent in front of every reply
    QByteArray strayAfterReply;     // bytes sent right behind every reply, in the same write
    QSet<char> silentCommands;      // requests that get no answer at all
    QSet<QString> refusedDownloads; // "d" instead of the content
    QSet<QString> refusedRemoves;   // "r"
    int stopUploadAfterChunk = -1;  // "a" instead of the ready code after this chunk (0 = after the header)
    QByteArray bootText;            // printed at every restart
    int startMs = 0;                // from a restart until the firmware answers; requests meanwhile are lost
    int startAfterFlashMs = 0;      // the same for the first start after a flash, which formats the file system
    int goneAfterResetMs = 0;       // a port of the board's own leaves the PC this long at a restart
    QHash<char, int> lateReplies;   // these requests are answered this many milliseconds late
    int slowFirstAnswerMs = 0;      // the first answer of each exchange this late, as a firmware busy opening a file gives it; an upload's chunks are answered at once
    QByteArray listReplyOverride;   // sent instead of the real LIST reply when not empty
    QByteArray memoryReplyOverride; // sent instead of the real MEMORY reply when not empty
    // Restarts once in the middle of this request's exchange for this file:
    // after this many bytes of a DOWNLOAD reply, or at this chunk of an UPLOAD.
    struct { char command = 0; QString path; int after = 0; } resetDuring;
    bool keepPartialUploads = false;// firmware that writes each chunk as it comes: a cut upload leaves what arrived
    bool answerTwice = false;       // every reply sent again a moment later
    bool repeatPrevious = false;    // every reply sent behind the previous one again
    quint32 usedOverride = 0;       // reported bytes in use when not 0
    QMap<QString, int> storeShort;  // the next N uploads of a file are stored a byte short (-1: every one)
    QMap<QString, int> storeAltered;// the next N uploads of a file are stored with their last byte changed
    // DTR and RTS don't reach the chip (a board without the reset circuit):
    // esptool's resets change nothing, and the firmware takes its frames for noise.
    bool neverDownloadMode = false;
    RomLoaderFaults romLoader;      // how the ROM loader misbehaves, from the next reset into it on
};

struct ReceivedRequest
{
    char command = 0;
    QString path;
    QByteArray raw;                 // the request's bytes as they arrived
};

class ReceiverSimulator : public QObject
{
    Q_OBJECT

public:
    explicit ReceiverSimulator(QObject *parent = nullptr);
    ~ReceiverSimulator() override;

    // Opens the pseudo-terminal; false with errorString() when it can't.
    bool start();
    // The pseudo-terminal's path, or with setPortLink the link's, which
    // stays the same when the port comes back.
    QString portName() const;
    void setPortLink(const QString &path);
    QString errorString() const;

    // Keeps the files in a folder instead of memory.
    void setStoreFolder(const QString &folder);
    // Paces what is sent and what is read to 115200 baud 8N1.
    void setBaudPacing(bool paced);
    // Follows the host's DTR and RTS settings, which the modem-line preload
    // writes into this file (see above).
    void setResetLinesFile(const QString &path);

    static constexpr int flashSize = 4 << 20;
    static constexpr quint32 fileSystemOffset = 0x290000;
    // The flash as it is, 0xFF where erased.
    QByteArray flashImage() const;
    bool inDownloadMode() const;

    void setCapacity(quint32 bytes);
    quint32 capacity() const;
    void putFile(const QString &name, const QByteArray &content);
    QMap<QString, QByteArray> files() const;
    void clearFiles();

    ReceiverFaults &faults();
    QVector<ReceivedRequest> requests() const;
    QByteArray received() const;
    void clearLog();

    // Sends bytes as they are, outside any exchange.
    void sendRaw(const QByteArray &bytes);
    // Closes the pseudo-terminal as a pulled USB cable would.
    void unplug();
    // Restarts the receiver (see above).
    void reset(bool afterFlash);
    // What an ESP32's boot ROM (a revision 3 chip's) prints when it starts
    // its firmware, some 300 bytes.
    static QByteArray esp32BootText();
    bool isPlugged() const;

    qint64 bytesRead() const;
    qint64 bytesWritten() const;

signals:
    void requestReceived(char command, const QString &path);

private:
    void readInput();
    void boardStarted(ResetCircuit::Boot boot, bool late);
    void stopFirmware();
    void startFirmware();
    bool takeResetRequest();
    bool takeResetDuring(char command, const QString &path, int at);
    void keepPartialUpload();
    void flushOutput();
    void takeInput(const QByteArray &bytes);
    bool parseRequest();
    void answer(const ReceivedRequest &request);
    void reply(const QByteArray &bytes);
    void queueOutput(const QByteArray &bytes);
    void writeOutput(const QByteArray &bytes);
    QByteArray listReply() const;
    quint32 usedBytes() const;
    void loadFolder();
    void saveFile(const QString &name);
    void removeFile(const QString &name);

    int masterFd = -1;
    int slaveFd = -1;
    QString slavePath;
    QString linkPath;
    QString error;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    LinePacer *incoming = nullptr;  // set while the line is paced
    LinePacer *outgoing = nullptr;
    ResetLines *resetLines = nullptr;

    QByteArray flash;
    std::unique_ptr<RomLoader> loader;  // set while the ROM loader runs instead of the firmware
    bool flashWritten = false;      // since the firmware last started: its next start is the first after a flash

    QString folder;
    QDateTime folderTime;           // the folder's time when it was last read or written
    QMap<QString, QByteArray> store;
    quint32 capacityBytes = 1 << 20;
    ReceiverFaults scripted;

    QByteArray input;
    QByteArray output;
    QVector<ReceivedRequest> log;
    QByteArray rawLog;
    qint64 readCount = 0;
    qint64 writeCount = 0;

    QElapsedTimer clock;
    qint64 startsAt = 0;            // clock time from which requests are answered
    QByteArray previousReply;
    char answering = 0;             // the request being answered
    bool opensExchange = false;     // and it is an exchange's first request
    QTimer *resetPoll = nullptr;

    bool uploading = false;
    QString uploadName;
    QByteArray uploadContent;
    int uploadChunks = 0;
};

#endif
