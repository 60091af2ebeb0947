#include "installer/installationrunner.h"
#include "app/session.h"
#include "device/receiverlink.h"
#include "installer/scriptrun.h"
#include "storage/download.h"
#include "storage/listing.h"
#include "storage/upload.h"

#include <QDir>

namespace {
const QString backupFolder = "files";
}

InstallationRunner::InstallationRunner(ReceiverLink *link, QObject *parent)
    : QObject(parent)
    , link(link)
    , listing(new StorageListing(link, this))
    , download(new FileDownload(link, this))
    , upload(new FileUpload(link, this))
{
    for (int timer = 0; timer < Installation::timerCount; ++timer) {
        timers[timer].setSingleShot(true);
        if (timer == int(Installation::Timer::Check))
            connect(&timers[timer], &QTimer::timeout, this, &InstallationRunner::checkDue);
        else
            connect(&timers[timer], &QTimer::timeout, this, [this, timer] { timerExpired(timer); });
    }

    connect(link, &ReceiverLink::lineActive, this, [this] {
        if (installation.listensToTheLine())
            report([this] { installation.lineActive(); });
    });
    connect(link, &ReceiverLink::moved, this, [this](qint64 bytes) {
        if (!installation.isRunning())
            return;
        progress.moved(bytes);
        showProgress();
    });
    connect(link, &ReceiverLink::restarted, this, [this] { report([this] { installation.restarted(); }); });
    connect(link, &ReceiverLink::lost, this, [this](const QString &words) {
        report([this, words] { installation.linkLost(words); });
    });
    connect(listing, &StorageListing::listed, this, [this](const ReceiverListing &listed) {
        report([this, listed] { installation.listed(listed); });
    });
    connect(download, &FileDownload::status, this, &InstallationRunner::statusShown);
    connect(download, &FileDownload::saved, this, [this](bool empty) {
        currentRowDownloadAll = -1;
        report([this, empty] { installation.fileSaved(empty); });
    });
    connect(download, &FileDownload::notSaved, this, [this](const QString &problem) {
        currentRowDownloadAll = -1;
        report([this, problem] { installation.fileNotSaved(problem); });
    });
    connect(download, &FileDownload::readBack, this, [this](const std::optional<QByteArray> &content) {
        report([this, content] { installation.readBack(content); });
    });
    connect(download, &FileDownload::interrupted, this, [this] {
        currentRowDownloadAll = -1;
        report([this] { installation.restarted(); });
    });
    connect(upload, &FileUpload::status, this, &InstallationRunner::statusShown);
    connect(upload, &FileUpload::ended, this, [this](UploadReply outcome) {
        if (outcome == UploadReply::Restarted)
            report([this] { installation.restarted(); });
        else
            report([this] { installation.uploadEnded(); });
    });
}

void InstallationRunner::setTimings(const InstallTimings &shorter)
{
    installation = Installation(shorter);
}

void InstallationRunner::setPortLister(const std::function<QVector<SeenPort>()> &lister)
{
    listPorts = lister;
}

bool InstallationRunner::isRunning() const
{
    return installation.isRunning();
}

bool InstallationRunner::isFlashing() const
{
    return flashScript != nullptr;
}

void InstallationRunner::start(const InstallChoices &choices)
{
    progress = InstallProgress();
    shownPercent = -1;
    sinceStart.start();
    download->beginBatch();
    installation.start(choices);
    carryOutActions();
}

void InstallationRunner::cancel()
{
    installation.cancel();
    carryOutActions();
}

void InstallationRunner::answer(Installation::Question question, Installation::Answer answer)
{
    report([this, question, answer] { installation.answered(question, answer); });
}

void InstallationRunner::checkExpired()
{
    timerExpired(int(Installation::Timer::Check));
}

void InstallationRunner::timerExpired(int timer)
{
    const int start = starts[timer];
    report([this, timer, start] {
        if (start == starts[timer])
            installation.timerExpired(Installation::Timer(timer));
    });
}

// Reports wait for the event loop's next pass, so that no step starts inside
// a port notification or a signal of the exchange that reported.
void InstallationRunner::report(const std::function<void()> &event)
{
    if (!installation.isRunning())
        return;
    reports.append(event);
    emit reportsWaiting();
}

void InstallationRunner::deliverReports()
{
    while (!reports.isEmpty()) {
        reports.takeFirst()();
        carryOutActions();
    }
}

QString InstallationRunner::questionBeforeClosing() const
{
    return installation.questionBeforeClosing();
}

void InstallationRunner::carryOutActions()
{
    for (const InstallAction &action : installation.takeActions())
        carryOut(action);
    installStat = installation.step();
}

void InstallationRunner::carryOut(const InstallAction &action)
{
    switch (action.kind) {
    case InstallAction::Begin:
        emit began(action.text);
        keepLog(action.text);
        return;
    case InstallAction::Log:
        keptLog.line(action.text);
        emit logged(action.text);
        return;
    case InstallAction::Status:
        emit statusShown(action.text);
        return;
    case InstallAction::OpenLink:
        emit statusShown(QString());
        if (link->open(action.text)) {
            report([this] { installation.linkOpened(); });
        } else {
            const QSerialPort::SerialPortError error = link->openError();
            report([this, error] { installation.linkNotOpened(error); });
        }
        return;
    case InstallAction::CloseLink:
        link->close();
        report([this] { installation.linkClosed(); });
        return;
    case InstallAction::Flash:
        flash(action.text, action.detail);
        return;
    case InstallAction::Ask:
        emit asked(Installation::Question(action.number), action.text, action.value != 0);
        return;
    case InstallAction::Refuse:
        emit refused(action.text);
        return;
    case InstallAction::Plan:
        progress.plan(action.value, action.number);
        return;
    case InstallAction::Progress:
        progress.enter(InstallProgress::Phase(action.number));
        showProgress();
        return;
    case InstallAction::ListPorts: {
        const QVector<SeenPort> ports = listPorts();
        report([this, ports] { installation.portsSeen(ports); });
        return;
    }
    case InstallAction::SelectPort:
        emit portChosen(action.text);
        return;
    case InstallAction::StartTimer:
        startTimer(action.number, int(action.value));
        return;
    case InstallAction::StopTimer:
        stopTimer(action.number);
        return;
    case InstallAction::AllowCancel:
        emit cancelAllowed(action.number != 0);
        return;
    case InstallAction::GiveUpExchange:
        link->giveUp();
        return;
    case InstallAction::End:
        end();
        return;
    default:
        // A link that is gone has had its loss reported, which ends the installation.
        if (link->isOpen())
            carryOutOnTheLink(action);
        return;
    }
}

void InstallationRunner::carryOutOnTheLink(const InstallAction &action)
{
    switch (action.kind) {
    case InstallAction::AskForListing:
        link->giveUp();
        listing->refresh();
        return;
    case InstallAction::SaveFile:
        currentRowDownloadAll = action.number;
        download->save(action.text, quint32(action.value), backupFolder, true);
        return;
    case InstallAction::ReadFile:
        download->read(action.text, quint32(action.value));
        return;
    case InstallAction::SendFile:
        upload->send(action.text, action.content);
        return;
    case InstallAction::Restart:
        link->reboot();
        return;
    default:
        return;
    }
}

void InstallationRunner::startTimer(int timer, int ms)
{
    ++starts[timer];
    timers[timer].start(ms);
}

void InstallationRunner::stopTimer(int timer)
{
    ++starts[timer];
    timers[timer].stop();
}

// The flashing script runs in the background, so the window stays served
// and shows the flasher's lines.
void InstallationRunner::flash(const QString &port, const QString &display)
{
    flashScript = new ScriptRun(this);
    connect(flashScript, &ScriptRun::linesShown, this, [this](const QVector<ConsoleText::ShownLine> &lines) {
        for (const ConsoleText::ShownLine &line : lines) {
            const int percent = flasherPercent(line.text);
            if (percent >= 0)
                progress.flashed(percent);
        }
        showProgress();
        keptLog.scriptLines(lines);
        emit scriptLinesShown(lines);
    });
    connect(flashScript, &ScriptRun::ended, this, [this] {
        flashScript->deleteLater();
        flashScript = nullptr;
        report([this] { installation.flashEnded(); });
    });
    flashScript->start("flash", { port, display });
}

// The log pane's lines go into a file of their own too, named in the log.
void InstallationRunner::keepLog(const QString &firstLine)
{
    const QString words = keptLog.start() ? "...this log is kept in " + QDir::toNativeSeparators(keptLog.path())
                                          : "...PC: can't keep this log in the folder logs";
    keptLog.line(firstLine);
    keptLog.line(words);
    emit logged(words);
}

// Only a change is shown: most bytes move the whole by less than a percent.
void InstallationRunner::showProgress()
{
    const int percent = progress.percent();
    if (percent == shownPercent)
        return;
    shownPercent = percent;
    emit progressShown(percent, progress.text(sinceStart.elapsed()));
}

void InstallationRunner::stopFlashing()
{
    if (!flashScript)
        return;
    flashScript->stop();
    delete flashScript;
    flashScript = nullptr;
}

void InstallationRunner::end()
{
    keptLog.end();
    reports.clear();
    nextFileNameUpload.clear();
    currentRowDownloadAll = -1;
    emit ended();
}
