#ifndef MAINWINDOW_H
#define MAINWINDOW_H

// The installer's one window: the form and the person. Its slots, reached by
// name from the form, check what the user may do and call the receiver's
// link (device/receiverlink.h), the file exchanges (storage/) or the
// installation's runner (installer/installationrunner.h); what those report
// is shown here, and the answers to their questions go back to them.

#include "installer/installation.h"
#include "installer/consoletext.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>

#include <functional>

class FileDownload;
class FileUpload;
class InstallationRunner;
class QProgressBar;
class ScriptRun;
class ReceiverLink;
class StorageListing;
struct InstallTimings;

// Set before the application object exists: the window's fixed size is in
// device-independent pixels, scaled on a high-density screen by the
// screen's own factor rather than rounded to a whole one.
void prepareHighDpiScaling();

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
    void on_pushButton_clicked();                   // Download - mainwindow_files.cpp
    void on_pushButton_2_clicked();                 // Upload - mainwindow_files.cpp
    void on_pushButton_3_clicked();                 // Connect / disconnect - mainwindow_files.cpp
    void on_pushButton_6_clicked();                 // Scan - mainwindow_files.cpp
    void on_pushButton_4_clicked();                 // Remove - mainwindow_files.cpp
    void on_pushButton_5_clicked();                 // Format - mainwindow_files.cpp
    void on_pushButton_7_clicked();                 // Execute - mainwindow_files.cpp
    void on_pushButton_8_clicked();                 // Reboot - mainwindow_files.cpp
    void on_pushButton_Install_clicked();           // Install FW - mainwindow_installer.cpp
    void Install();                                 // the installation hears what happened - mainwindow_installer.cpp
    void on_pushButton_UploadAll_clicked();         // Upload all - mainwindow_files.cpp
    void on_pushButton_DownloadAll_clicked();       // Download all - mainwindow_files.cpp
    void on_comboBox_2_currentIndexChanged(const QString &arg1);    // display selector - mainwindow_installer.cpp
    void on_comboBox_language_currentIndexChanged(int index);       // language selector - mainwindow_installer.cpp
    void on_pushButton_9_clicked();                 // Cancel - mainwindow_installer.cpp
    void on_pushButton_Driver_clicked();            // Install driver - mainwindow_installer.cpp
    void countDown();                               // the three-second check - mainwindow_installer.cpp

private:
    // The port list.
    void showPorts(const QVector<SeenPort> &ports);
    void followPorts();

    // The file manager: its views and its refusals.
    void connectFileManager();
    void resetStorageView();
    void showFigures(quint32 total, quint32 used);
    void showListing(const QVector<ListEntry> &entries);
    void refuse(QMessageBox::Icon icon, const QString &text);
    bool confirm(const QString &question);
    bool linkIsIdle(const QString &busyText);
    bool hasSelectedFile() const;
    int selectedRow() const;
    QString selectedFileName() const;

    // The installation: what its runner shows and asks.
    void connectInstaller();
    void setControlsLocked(bool locked);
    void askQuestion(Installation::Question question, const QString &text, bool yesByDefault);
    void showRefusal(const QString &text);
    void showScriptLines(const QVector<ConsoleText::ShownLine> &lines);
    void setPortControlsLocked(bool locked);
    void endInstallation();

    void log(const QString &line);
    void showStatus(const QString &text);

    Ui::MainWindow *ui;
    ReceiverLink *link;
    StorageListing *listing;        // the file manager's own exchanges on the link
    FileDownload *download;
    FileUpload *upload;
    InstallationRunner *runner;
    QProgressBar *installProgress;  // beside the status bar's messages, while an installation runs
    QPointer<QMessageBox> openQuestion;
    QPointer<ScriptRun> driverScript;   // the driver installer while it runs
    std::function<QVector<SeenPort>()> listPorts;
    QString pickedPort;             // the port the user chose in the list, kept while it is listed
};

#endif
