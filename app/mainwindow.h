#ifndef MAINWINDOW_H
#define MAINWINDOW_H

// The installer's one window. Its slots are reached by name from the form;
// the installation, the batch transfers and the reply handlers call them
// directly, and everything they share lives in the session state (session.h).

#include <QMainWindow>
#include <QMessageBox>

QT_BEGIN_NAMESPACE
namespace Ui { class MainWindow; }
QT_END_NAMESPACE

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    void on_pushButton_clicked();
    void on_pushButton_2_clicked();
    void on_pushButton_3_clicked();
    void on_pushButton_6_clicked();
    void on_pushButton_4_clicked();
    void on_pushButton_5_clicked();
    void on_pushButton_7_clicked();
    void on_pushButton_8_clicked();
    void on_pushButton_Install_clicked();
    void Install();
    void on_pushButton_UploadAll_clicked();
    void on_pushButton_DownloadAll_clicked();
    void on_comboBox_2_currentIndexChanged(const QString &arg1);
    void on_comboBox_language_currentIndexChanged(int index);
    void on_pushButton_9_clicked();
    void on_pushButton_Driver_clicked();
    void countDown();

private:
    // Receive path: the dispatcher and one handler per pending request.
    void dispatchReply();
    void handleDownloadReply();
    void handleUploadReply();
    void handleMemoryReply();
    void handleListReply();
    void handleRemoveReply();
    void handleEraseReply();
    void handleExecuteReply();
    void endListing();

    // Connection.
    void connectDevice();
    void disconnectDevice();
    void resetStorageView();
    void handleLinkError(int error);
    void closeLostLink();

    // Refusals before a request is sent.
    void refuse(QMessageBox::Icon icon, const QString &text);
    bool linkIsIdle(const QString &busyText);
    bool hasSelectedFile();
    int selectedRow() const;
    QString selectedFileName() const;

    // Installation.
    void setControlsLocked(bool locked);
    void backUpDevice();
    bool flashFirmware();
    void log(const QString &line);
    void showStatus(const QString &text);

    Ui::MainWindow *ui;
};

#endif
