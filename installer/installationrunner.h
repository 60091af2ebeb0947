#ifndef INSTALLATIONRUNNER_H
#define INSTALLATIONRUNNER_H

// Runs the installation's engine on the receiver's link: it carries out the
// engine's actions, with the listing, download and upload exchanges, the
// timers and the flashing script, and hands back what happened as events,
// one at a time from the event loop. What a person must see or answer goes
// out through its signals; the window shows it and hands answers back.

#include "device/portscan.h"
#include "installer/consoletext.h"
#include "installer/installation.h"
#include "installer/keptlog.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QVector>

#include <array>
#include <functional>

class FileDownload;
class FileUpload;
class ReceiverLink;
class ScriptRun;
class StorageListing;

class InstallationRunner : public QObject
{
    Q_OBJECT

public:
    explicit InstallationRunner(ReceiverLink *link, QObject *parent = nullptr);

    // The limits the installation waits for; tests give it shorter ones.
    void setTimings(const InstallTimings &timings);
    // What lists the serial ports the receiver is looked for on after the
    // flash; tests give it theirs.
    void setPortLister(const std::function<QVector<SeenPort>()> &lister);

    bool isRunning() const;
    bool isFlashing() const;
    void start(const InstallChoices &choices);
    void cancel();
    void answer(Installation::Question question, Installation::Answer answer);
    // The three-second check ran out.
    void checkExpired();
    // Hands the engine, in order, what happened since it last acted.
    void deliverReports();
    // The question to ask before the window may close; empty when it may close at once.
    QString questionBeforeClosing() const;
    // Ends the flashing script and whatever it started, at once.
    void stopFlashing();

signals:
    void reportsWaiting();          // deliverReports is due, from the event loop
    void checkDue();                // the check timer ran out
    void began(const QString &firstLine);
    void logged(const QString &line);
    void scriptLinesShown(const QVector<ConsoleText::ShownLine> &lines);
    void statusShown(const QString &text);
    void asked(Installation::Question question, const QString &text, bool yesByDefault);
    void refused(const QString &text);
    void portChosen(const QString &port);
    void cancelAllowed(bool allowed);
    void progressShown(int percent, const QString &text);
    void ended();

private:
    void report(const std::function<void()> &event);
    void carryOutActions();
    void carryOut(const InstallAction &action);
    void carryOutOnTheLink(const InstallAction &action);
    void timerExpired(int timer);
    void startTimer(int timer, int ms);
    void stopTimer(int timer);
    void flash(const QString &port, const QString &display);
    void showProgress();
    void keepLog(const QString &firstLine);
    void end();

    ReceiverLink *link;
    StorageListing *listing;
    FileDownload *download;
    FileUpload *upload;
    Installation installation;
    QVector<std::function<void()>> reports;     // what happened, not yet heard by the engine
    std::array<QTimer, Installation::timerCount> timers;       // one per Installation::Timer
    // Each timer's starts and stops: an expiry that belongs to an earlier
    // start, delivered late, is no event.
    std::array<int, Installation::timerCount> starts = {};
    std::function<QVector<SeenPort>()> listPorts = seenPorts;
    ScriptRun *flashScript = nullptr;
    KeptLog keptLog;
    InstallProgress progress;
    QElapsedTimer sinceStart;
    int shownPercent = -1;
};

#endif
