#ifndef TESTKIT_H
#define TESTKIT_H

// What the window tests share: a fresh session state, modal boxes answered
// from a timer, and a window wired to a simulated receiver.

#include "app/mainwindow.h"
#include "device/receiverlink.h"
#include "app/session.h"
#include "installer/timings.h"
#include "workspace.h"
#include "receiversim/receiversimulator.h"

#include <QComboBox>
#include <QMessageBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTextBrowser>
#include <QObject>
#include <QElapsedTimer>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

// The installation's limits a tenth or less of the program's, so that no
// test waits out a real one; the simulator's delays in tests shrink with them.
InstallTimings testTimings();

// The receiver's four data files, in the order a restore sends them.
extern const QStringList dataFiles;
// Lines of made-up station data, as the receiver's data files hold them.
QByteArray sampleData(const QString &name, int lines = 60);

// Answers modal boxes as they open: message boxes with a chosen button (their
// default one when they lack it), file dialogs with a chosen path. Records
// every message box text.
class ModalAnswerer : public QObject
{
    Q_OBJECT

public:
    explicit ModalAnswerer(QObject *parent = nullptr);
    QStringList texts;
    QList<QMessageBox::Icon> icons;
    QList<QMessageBox::StandardButton> defaults;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    int holdMs = 0;                 // how long a message box stays open before it is answered
    QString dialogPath;             // empty: cancel file dialogs
    QStringList statusWhileOpen;    // status bar text when each box opened
    QStatusBar *statusBar = nullptr;

private:
    void poll();
    QTimer timer;
    QPointer<QWidget> open;         // the box being held
    QElapsedTimer openFor;
};

// A window, started in a temporary working folder that holds the demo
// release, with the simulator's port chosen in the port selector.
class Rig
{
public:
    explicit Rig(const InstallTimings &timings = testTimings());
    ~Rig();

    Workspace workspace;
    ReceiverSimulator receiver;
    QStringList statusHistory;      // every status bar message, in order
    std::unique_ptr<MainWindow> window;
    ModalAnswerer boxes;

    QComboBox *portBox() const;
    QComboBox *languageBox() const;
    QComboBox *displayBox() const;
    QTableWidget *table() const;
    QTextBrowser *logPane() const;
    QStatusBar *statusBar() const;
    QStringList logLines() const;
    // The log without the lines the flashing script wrote.
    QStringList installerLog() const;
    // The file the latest installation kept its log in, and the log's line naming it.
    QString keptLogPath() const;
    QString keptLogLine() const;
    QString status() const;
    ReceiverLink *link() const;
    QStringList tableNames() const;

    void invoke(const char *slot);
    // Keeps the receiver's files in workspace/receiver, where the demo's
    // flashing script wipes them as a full flash would.
    QString useFolderStore();
    // Presses "Install FW".
    void install();
    // The flashing script runs.
    bool flashing() const;
    bool installationEnded(int timeoutMs = 30000);
    // Connect and wait until the listing has ended.
    bool connectAndList();
    void selectRow(int row);
    // Downloads one row of the table into a folder chosen in the dialog.
    void downloadRow(int row, const QString &folder);
    // Presses "Cancel".
    void cancel();
    // Plugs the receiver in again after it was unplugged, and chooses its port.
    bool plugReceiverIn();
};

// The command letters of the requests the receiver got, in order ("MLD").
QString requestLetters(const ReceiverSimulator &receiver);

// True when no QMessageBox or dialog is left open.
bool noModalLeft();

// Runs the event loop until the condition holds or the time is up. Unlike
// QTest::qWaitFor it never sleeps, so a chain of quick exchanges over the
// pseudo-terminal runs at the speed the program gives it.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 30000);

#endif
