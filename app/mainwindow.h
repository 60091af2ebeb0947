#ifndef MAINWINDOW_H
#define MAINWINDOW_H

// The installer's one window. Its slots are reached by name from the form;
// the installation, the batch transfers and the reply handlers call them
// directly, and everything they share lives in the session state (session.h).
// Replies are decoded by the pure functions of device/replies.h; the handlers
// here only apply what those decide.

#include "installer/consoletext.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QVector>

struct DownloadReply;
struct ListEntry;
class QTimer;
class StartWait;

QT_BEGIN_NAMESPACE
namespace Ui { class MainWindow; }
QT_END_NAMESPACE

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

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
    void Install();                                 // the next installation step - installer/install.cpp
    void on_pushButton_UploadAll_clicked();         // Upload all - storage/batch.cpp
    void on_pushButton_DownloadAll_clicked();       // Download all - storage/batch.cpp
    void on_comboBox_2_currentIndexChanged(const QString &arg1);    // display selector - installer/options.cpp
    void on_comboBox_language_currentIndexChanged(int index);       // language selector - installer/options.cpp
    void on_pushButton_9_clicked();                 // Cancel - installer/install.cpp
    void on_pushButton_Driver_clicked();            // Install driver - installer/options.cpp
    void countDown();                               // the three-second check - installer/linkwait.cpp

private:
    // What a handler reports to a running installation when its exchange or
    // batch has ended; the installation alone decides what follows.
    enum class Finished { Listing, DownloadBatch, UploadBatch, LinkClosed, ReadBack };
    // Takes the report to the installation on the event loop's next pass;
    // a problem means the step stopped there.
    void reportEnded(Finished what, const QString &problem = QString());
    void stepEnded(Finished what, const QString &problem);

    // Receive path: the dispatcher and one handler per pending request.
    void dispatchReply();
    void handleDownloadReply();
    void takeHeldDownload();
    void endDownload(const DownloadReply &reply);
    void endDownloadWith(const QString &message);
    void handleUploadReply();
    void endUpload(const QString &message);
    QString startUpload(const QString &source);
    void handleMemoryReply();
    void handleListReply();
    void showListing(const QVector<ListEntry> &entries);
    void endListing();
    void handleRemoveReply();
    void handleEraseReply();
    void handleExecuteReply();

    // Connection.
    void connectDevice();
    void disconnectDevice();
    void giveUpExchange();
    void resetStorageView();
    void handleLinkError(int error);
    void closeLostLink();

    // Refusals before a request is sent.
    void refuse(QMessageBox::Icon icon, const QString &text);
    bool confirm(const QString &question);
    bool linkIsIdle(const QString &busyText);
    bool hasSelectedFile();
    int selectedRow() const;
    QStringList listedNames() const;
    QString selectedFileName() const;

    // Installation.
    void setControlsLocked(bool locked);
    void openLink();
    void askForListingAgain();
    void listingNeverCame();
    void waitForCancel(const QString &problem);
    bool confirmIncompleteBackup();
    bool offerOlderBackup();
    bool takeFromOlderBackup();
    void backUpDevice();
    void startFlashing();
    void showScriptLines(const QVector<ConsoleText::ShownLine> &lines);
    void flashingEnded();
    void startRestore();
    void restoreNextFile();
    void reportDataNotPutBack();
    void checkRestoredSize();
    void verifyRestore();
    void readBackNext();
    void judgeReadBack();
    void log(const QString &line);
    void showStatus(const QString &text);

    Ui::MainWindow *ui;
    StartWait *startWait;
    QTimer *replyQuiet;             // a whole download reply is taken when it runs out
    QByteArray heldDownload;        // that reply's content meanwhile
    quint64 installRun = 0;         // counts starts and ends: a report queued for an earlier run is dropped
    int reopenAttempts = 0;
};

#endif
