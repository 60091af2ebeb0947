#include "testkit.h"
#include "app/session.h"
#include "installer/installationrunner.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTextBrowser>

InstallTimings testTimings()
{
    InstallTimings timings;
    timings.checkAfterMs = 300;
    timings.lateAnswerMs = 250;
    timings.quietAfterBootTextMs = 30;
    timings.listingLimitBeforeFlashMs = 600;
    timings.listingLimitAfterFlashMs = 2000;
    timings.reopenEveryMs = 100;
    timings.reopenLimitMs = 1500;
    timings.portWaitSaidMs = 300;
    timings.exchangeBaseMs = 300;
    return timings;
}

const QStringList dataFiles = { "ap.csv", "city.csv", "preset.csv", "scan.csv" };

QByteArray sampleData(const QString &name, int lines)
{
    QByteArray content;
    for (int i = 0; i < lines; ++i)
        content += name.toUtf8() + "," + QByteArray::number(87.5 + i * 0.1, 'f', 1) + ",Station " + QByteArray::number(i) + "\n";
    return content;
}

ModalAnswerer::ModalAnswerer(QObject *parent)
    : QObject(parent)
{
    connect(&timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer.start(20);
}

void ModalAnswerer::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal)
        return;
    if (modal != open) {
        open = modal;
        openFor.start();
    }
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        if (openFor.elapsed() < holdMs)
            return;
        texts << box->text();
        icons << box->icon();
        defaults << box->standardButton(box->defaultButton());
        if (statusBar)
            statusWhileOpen << statusBar->currentMessage();
        QAbstractButton *button = box->button(answer);
        if (!button)
            button = box->defaultButton();
        if (!button)
            button = box->buttons().value(0);
        button->click();
    } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
        if (dialogPath.isEmpty()) {
            dialog->reject();
        } else {
            // Typed into the name field, as a user would.
            auto *name = dialog->findChild<QLineEdit *>("fileNameEdit");
            name->setText(dialogPath);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    }
}

Rig::Rig(const InstallTimings &timings)
{
    resetSession();
    // The demo flashing script shows its progress at once.
    qputenv("VELTRA_FLASH_SECONDS", "0");
    workspace.installDemoRelease();
    if (!receiver.start())
        qFatal("%s", qPrintable(receiver.errorString()));
    window = std::make_unique<MainWindow>();
    window->setTimings(timings);
    boxes.statusBar = statusBar();
    QObject::connect(statusBar(), &QStatusBar::messageChanged,
                     [this](const QString &text) { statusHistory << text; });
    // The simulator's pseudo-terminal is no port the system lists.
    window->setPortLister([this] { return QVector<SeenPort>{ { receiver.portName() } }; });
    portBox()->addItem(receiver.portName());
    portBox()->setCurrentText(receiver.portName());
}

Rig::~Rig()
{
    resetSession();
}

QComboBox *Rig::portBox() const { return window->findChild<QComboBox *>("comboBox"); }
QComboBox *Rig::languageBox() const { return window->findChild<QComboBox *>("comboBox_language"); }
QComboBox *Rig::displayBox() const { return window->findChild<QComboBox *>("comboBox_2"); }
QTableWidget *Rig::table() const { return window->findChild<QTableWidget *>("tableWidget"); }
QTextBrowser *Rig::logPane() const { return window->findChild<QTextBrowser *>("textBrowser"); }
QStatusBar *Rig::statusBar() const { return window->findChild<QStatusBar *>("statusbar"); }
QStringList Rig::logLines() const { return logPane()->toPlainText().split('\n'); }
QStringList Rig::installerLog() const
{
    QStringList lines = logLines();
    const int flashing = lines.indexOf("-> Install firmware...");
    if (flashing >= 0) {
        while (flashing + 1 < lines.size() && lines.at(flashing + 1) != "...done" && lines.at(flashing + 1) != "...failed")
            lines.removeAt(flashing + 1);
    }
    return lines;
}

QString Rig::keptLogPath() const
{
    const QStringList kept = QDir("logs").entryList({ "*.txt" }, QDir::Files, QDir::Name);
    return kept.isEmpty() ? QString() : "logs/" + kept.last();
}

QString Rig::keptLogLine() const
{
    return "...this log is kept in " + keptLogPath();
}

QString Rig::status() const { return statusBar()->currentMessage(); }
ReceiverLink *Rig::link() const { return window->findChild<ReceiverLink *>(); }

QStringList Rig::tableNames() const
{
    QStringList names;
    for (int row = 0; row < table()->rowCount(); ++row)
        names << table()->item(row, 1)->text();
    return names;
}

void Rig::invoke(const char *slot)
{
    if (!QMetaObject::invokeMethod(window.get(), slot, Qt::DirectConnection))
        qFatal("no slot %s", slot);
}

QString Rig::useFolderStore()
{
    const QString store = workspace.path() + "/receiver";
    receiver.setStoreFolder(store);
    qputenv("VELTRA_RECEIVER_STORE", QFile::encodeName(store));
    return store;
}

bool Rig::flashing() const
{
    return window->findChild<InstallationRunner *>()->isFlashing();
}

void Rig::install()
{
    window->findChild<QPushButton *>("pushButton_Install")->click();
}

bool Rig::installationEnded(int timeoutMs)
{
    return waitUntil([] { return installStat == 0; }, timeoutMs);
}

bool Rig::connectAndList()
{
    bool listed = false;
    QObject context;
    QObject::connect(link(), &ReceiverLink::listed, &context, [&listed] { listed = true; });
    invoke("on_pushButton_3_clicked");
    return connected && waitUntil([&listed] { return listed; }, 10000);
}

void Rig::selectRow(int row)
{
    table()->setCurrentCell(row, 1);
    table()->selectRow(row);
}

void Rig::downloadRow(int row, const QString &folder)
{
    boxes.dialogPath = folder;
    selectRow(row);
    invoke("on_pushButton_clicked");
}

void Rig::cancel()
{
    window->findChild<QPushButton *>("pushButton_9")->click();
}

bool Rig::plugReceiverIn()
{
    if (!receiver.start())
        return false;
    portBox()->addItem(receiver.portName());
    portBox()->setCurrentText(receiver.portName());
    return true;
}

bool noModalLeft()
{
    return QApplication::activeModalWidget() == nullptr;
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (condition() || clock.elapsed() > timeoutMs)
            loop.quit();
    });
    poll.start(1);
    if (!condition())
        loop.exec();
    return condition();
}

QString requestLetters(const ReceiverSimulator &receiver)
{
    QString letters;
    for (const ReceivedRequest &request : receiver.requests())
        letters += QChar(request.command);
    return letters;
}
