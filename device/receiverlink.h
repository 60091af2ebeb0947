#ifndef RECEIVERLINK_H
#define RECEIVERLINK_H

// The serial link to the receiver: the one object that opens, writes and
// reads its port. Requests go in as calls, one exchange at a time; what the
// receiver answers comes out as signals, decoded by device/replies.h. It
// keeps the session's link state (serial, connected, recived, mode and the
// reply counters) and knows nothing of files, windows or installations.

#include "device/replies.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <optional>

class QTimer;

struct LinkTimings
{
    // A whole reply is taken once the line has stayed quiet this long behind
    // it. A few bit times would do; a USB bridge hands bytes over in frames
    // of a millisecond.
    int replyQuietMs = 2;
    // A reply that pauses this long and goes on with boot text was cut by a restart.
    int replyStallMs = 10;
};

class ReceiverLink : public QObject
{
    Q_OBJECT

public:
    explicit ReceiverLink(QObject *parent = nullptr);
    void setTimings(const LinkTimings &timings);

    // Opens the port with the link settings; false, said on the status, when
    // it can't. Whatever an earlier link left pending is given up.
    bool open(const QString &portName);
    // Closes the port. The request awaited stays pending until the next open.
    void close();
    bool isOpen() const;
    // Why the last open failed.
    QSerialPort::SerialPortError openError() const;
    // No reply is awaited.
    bool isIdle() const;
    // The exchange under way is given up: its reply, and any part of it
    // held, will not be taken.
    void giveUp();

    // The requests. Each starts an exchange from an empty receive buffer.
    void askForMemory();
    void askForList();
    // A listed file's content; a reply announcing another size answers some other request.
    void download(const QString &name, quint32 listedSize);
    // An upload's header; each chunk and the end frame then answer readyForChunk.
    void startUpload(const QString &name, quint32 size);
    void writeFrame(const QByteArray &frame);
    void remove(const QString &name);
    void format();
    void execute(const QString &path);
    // Whatever follows, its answer or its restart's noise, ends the wait.
    void reboot();

signals:
    void status(const QString &text);
    void opened();
    void closed();
    // The port went away, on its own: the link is closed.
    void lost(const QString &words);
    void lineActive();
    void moved(qint64 bytes);       // bytes went over the wire, either way
    // Boot text came outside a transfer (whose own end says it): the
    // receiver restarted and will not answer what it was asked before.
    void restarted();
    void dropped();                 // the exchange under way was given up
    void memory(quint32 total, quint32 used);
    void listingBegun();            // the list's header came: the old list is gone
    void listed(const ReceiverListing &listing);
    // Every end of a download but Progress: Complete with its content once
    // the line stayed quiet behind it, or why there is none.
    void downloadEnded(const DownloadReply &reply);
    void readyForChunk();
    void uploadEnded(UploadReply reply);     // Complete, Stopped or Restarted
    void answered(const QString &request, CommandReply reply);  // REMOVE, ERASE, EXECUTE

private:
    void request(const QString &name, const QByteArray &arguments = QByteArray());
    void readReply();
    void takePortError(QSerialPort::SerialPortError error);
    void takeMemoryReply();
    void takeListReply();
    void takeDownloadReply();
    void takeUploadReply();
    void takeCommandReply();
    void takeHeldReply();
    void endDownload(const DownloadReply &reply);
    void endList(ReceiverListing listing);

    LinkTimings timings;
    QTimer *replyQuiet;             // a whole reply is taken when it runs out
    std::optional<QByteArray> heldDownload;     // that reply's content meanwhile
    std::optional<ReceiverListing> heldListing;
    QElapsedTimer sinceArrival;     // since bytes last came: a reply that stalls may go on with boot text
    int resumedAt = -1;             // where bytes begin in the buffer that came after the download reply stalled
    quint32 listedSize = 0;         // the listed size of the file being downloaded: a reply announcing another answers some other request
    int readErrorsInARow = 0;       // read errors with no data between them: a flood of them means the device is gone
    bool restartRequested = false;  // the receiver was told to restart: its port leaving is no lost link
    QSerialPort::SerialPortError failedOpen = QSerialPort::NoError;
};

#endif
