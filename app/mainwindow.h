#ifndef MAINWINDOW_H
#define MAINWINDOW_H

// The installer's one window. Its slots are reached by name from the form;
// the batch transfers and the reply handlers call them directly, and
// everything they share lives in the session state (session.h). Replies are
// decoded by the pure functions of device/replies.h, and the installation's
// every decision is made by its engine (installer/installation.h); the
// handlers here only apply what those decide.

#include "installer/consoletext.h"
#include "installer/installation.h"
#include "installer/timings.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QVector>

#include <array>
#include <functional>
#include <optional>

struct DownloadReply;

QT_BEGIN_NAMESPACE
namespace Ui { class MainWindow; }
QT_END_NAMESPACE

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The limits the installation waits for; tests give it shorter ones.
    void setTimings(const InstallTimings &shorter);
    // What lists the serial ports the installation looks for the receiver on
    // after the flash; tests give it theirs.
    void setPortLister(const std::function<QVector<SeenPort>()> &lister);

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_pushButton_clicked();                   // Download - storage/download.cpp
    void on_pushButton_2_clicked();                 // Upload - storage/upload.cpp
    void on_pushButton_3_clicked();                 // Connect / disconnect - device/connection.cpp
    void on_pushButton_6_clicked();                 // Scan - device/portscan.cpp
    void on_pushButton_4_clicked();                 // Remove - storage/commands.cpp
    void on_pushButton_5_clicked();                 // Format - storage/commands.cpp
    void on_pushButton_7_clicked();                 // Execute - storage/commands.cpp
    void on_pushButton_8_clicked();                 // Reboot - storage/commands.cpp
    void on_pushButton_Install_clicked();           // Install FW - installer/install.cpp
    void Install();                                 // the installation hears what was reported - installer/install.cpp
    void on_pushButton_UploadAll_clicked();         // Upload all - storage/batch.cpp
    void on_pushButton_DownloadAll_clicked();       // Download all - storage/batch.cpp
    void on_comboBox_2_currentIndexChanged(const QString &arg1);    // display selector - installer/options.cpp
    void on_comboBox_language_currentIndexChanged(int index);       // language selector - installer/options.cpp
    void on_pushButton_9_clicked();                 // Cancel - installer/install.cpp
    void on_pushButton_Driver_clicked();            // Install driver - installer/options.cpp
    void countDown();                               // the three-second check - installer/install.cpp

private:
    // Receive path: the dispatcher and one handler per pending request.
    void dispatchReply();
    void handleDownloadReply();
    void takeHeldDownload();
    void endDownload(const DownloadReply &reply);
    void endDownloadWith(const QString &message);
    void handleUploadReply();
    void endUpload(const QString &message);
    QString startUpload(const QString &name, const QByteArray &content);
    void handleMemoryReply();
    void handleListReply();
    void showListing(const QVector<ListEntry> &entries);
    void handleRemoveReply();
    void handleEraseReply();
    void handleExecuteReply();

    // Connection.
    bool openLink();
    void closeLink();
    void closeLostLink();
    void giveUpExchange();
    void resetStorageView();
    void handleLinkError(int error);

    // Transfers.
    void startDownload(const QString &name, quint32 listedSize, const QString &folder);
    void saveRow(int row, const QString &name, quint32 size);
    void readIntoMemory(const QString &name, quint32 size);
    void sendFile(const QString &name, const QByteArray &content);

    // Refusals before a request is sent.
    void refuse(QMessageBox::Icon icon, const QString &text);
    bool confirm(const QString &question);
    bool linkIsIdle(const QString &busyText);
    bool hasSelectedFile();
    int selectedRow() const;
    QString selectedFileName() const;

    // The installation: what the link and the transfers report to it, and
    // carrying out what it answers.
    enum class Saved { Yes, Empty, No };
    void lineActive();
    void receiverRestarted();
    void listingEnded(const ReceiverListing &listing);
    void downloadEnded(Saved outcome, const QString &problem = QString());
    void readBackEnded(const std::optional<QByteArray> &content);
    void uploadEnded();
    void linkLost();
    void report(const std::function<void()> &event);
    void timerExpired(Installation::Timer timer);
    void stopInstallTimer(int timer);
    void carryOutActions();
    void carryOut(const InstallAction &action);
    void askQuestion(Installation::Question question, const QString &text, bool yesByDefault);
    void endInstallation();
    void setControlsLocked(bool locked);
    void startFlashing(const QString &port, const QString &display);
    void showScriptLines(const QVector<ConsoleText::ShownLine> &lines);
    void log(const QString &line);
    void showStatus(const QString &text);

    Ui::MainWindow *ui;
    QTimer *replyQuiet;             // a whole download reply is taken when it runs out
    QByteArray heldDownload;        // that reply's content meanwhile
    Installation installation;
    QVector<std::function<void()>> reports;     // what happened, not yet heard by the installation
    bool deliveringReports = false;
    std::array<QTimer, Installation::timerCount> installTimers;   // one per Installation::Timer
    std::array<int, Installation::timerCount> timerRuns = {};     // counts each timer's starts and stops
    std::function<QVector<SeenPort>()> listPorts;
    QElapsedTimer sinceArrival;     // since bytes last came: a reply that stalls may go on with boot text
    QPointer<QMessageBox> openQuestion;
};

#endif
