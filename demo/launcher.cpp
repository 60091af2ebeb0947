// Demo launcher: the installer's window with a simulated receiver's port in
// its port list. Options (the product itself takes none):
//   --port PATH        the simulator's pseudo-terminal
//   --store DIR        the simulator's folder, checked after the installation
//   --auto             press "Install FW" and exit with the verdict
//   --screenshots DIR  save the window at the start, while the firmware is
//                      written and at the end
//   --quit-while-flashing  with --auto: close the window while the firmware is
//                      written, answering Yes to "Quit anyway?"
// Without a display (offscreen platform) it runs as with --auto, where any
// other question the installer asks ends the demo as a failure.
// Each line of the log pane is printed to standard output once it is
// finished, and at the end the longest time the window went unserved.

#include "app/mainwindow.h"
#include "app/session.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTextStream>
#include <QTimer>

namespace {
constexpr int installationTimeLimitMs = 120000;

QMap<QString, QByteArray> readFolder(const QString &path)
{
    QMap<QString, QByteArray> files;
    const QDir dir(path);
    for (const QString &name : dir.entryList(QDir::Files)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            files.insert(name, file.readAll());
    }
    return files;
}

// Empty when nothing was lost, else the reason.
QString verify(const QMap<QString, QByteArray> &before, const QMap<QString, QByteArray> &after,
               const QString &languageFile)
{
    const QMap<QString, QByteArray> backup = readFolder("files");
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!it.value().isEmpty() && backup.value(it.key()) != it.value())
            return "the backup in \"files\" lacks or differs in " + it.key();
    }
    for (const char *name : { "ap.csv", "city.csv", "preset.csv", "scan.csv" }) {
        if (after.value(name) != before.value(name))
            return QString("the receiver's %1 is not as it was before").arg(name);
    }
    QFile language("firmware/languages/" + languageFile);
    if (!language.open(QIODevice::ReadOnly) || after.value(languageFile) != language.readAll())
        return "the receiver lacks the language file " + languageFile;
    return QString();
}
}

int main(int argc, char *argv[])
{
    prepareHighDpiScaling();
    QApplication app(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription("VELTRA installer demo launcher.");
    options.addHelpOption();
    options.addOption({ "port", "Serial port of the simulated receiver.", "path" });
    options.addOption({ "store", "Folder of the simulated receiver's files.", "folder" });
    options.addOption({ "auto", "Press \"Install FW\" and exit with the verdict." });
    options.addOption({ "screenshots", "Save window pictures into this folder.", "folder" });
    options.addOption({ "quit-while-flashing", "Close the window while the firmware is written." });
    options.process(app);

    QTextStream out(stdout);
    MainWindow window;
    auto *ports = window.findChild<QComboBox *>("comboBox");
    auto *logPane = window.findChild<QTextBrowser *>("textBrowser");
    auto *languages = window.findChild<QComboBox *>("comboBox_language");
    if (options.isSet("port")) {
        ports->addItem(options.value("port"));
        ports->setCurrentText(options.value("port"));
    }
    window.show();

    const QString shots = options.value("screenshots");
    auto screenshot = [&](const QString &name) {
        if (shots.isEmpty())
            return;
        QDir().mkpath(shots);
        const QString path = QDir(shots).absoluteFilePath(name);
        if (window.grab().save(path))
            out << "window picture saved: " << path << Qt::endl;
    };

    // The last line of the pane may still change (a flasher's progress line).
    int printed = 0;
    // The picture while the firmware is written: at esptool's first progress line.
    const QRegularExpression firmwareProgress(R"(^Writing at 0x[0-9a-f]+\.\.\. \(\d+ %\)$)");
    bool flashingShot = false;
    auto printLines = [&](bool all) {
        const QStringList lines = logPane->toPlainText().split('\n');
        if (lines.size() < printed || !lines.first().startsWith("->"))
            printed = 0;
        for (; printed < lines.size() - (all ? 0 : 1); ++printed)
            out << lines.at(printed) << Qt::endl;
        if (!flashingShot && firmwareProgress.match(lines.last()).hasMatch()) {
            flashingShot = true;
            // Once the pane has scrolled to the new line.
            QTimer::singleShot(0, [&] { screenshot("window-flashing.png"); });
        }
    };
    QObject::connect(logPane, &QTextBrowser::textChanged, [&] { printLines(false); });

    const QString store = options.value("store");
    QMap<QString, QByteArray> before;
    QString keptLanguageFile;       // the receiver's own, when it was asked to be kept
    bool running = false;
    // The longest gap between two ticks of the watch is the longest time the window went unserved.
    QElapsedTimer sinceTick;
    qint64 longestPause = 0;
    const bool automatic = options.isSet("auto") || QGuiApplication::platformName() == "offscreen";
    auto *install = window.findChild<QPushButton *>("pushButton_Install");
    QObject::connect(install, &QPushButton::pressed, [&] {
        before = readFolder(store);
        running = true;
        sinceTick.start();
    });

    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (running)
            longestPause = qMax(longestPause, sinceTick.restart());
        if (!running || installStat != 0)
            return;
        running = false;
        printLines(true);
        screenshot("window-end.png");
        out << "demo: the window went unserved for at most " << longestPause << " ms" << Qt::endl;
        const QString languageFile = keptLanguageFile.isEmpty() ? lang[languages->currentIndex()].toLower() + ".lng"
                                                                : keptLanguageFile;
        const QString problem = store.isEmpty() ? QString() : verify(before, readFolder(store), languageFile);
        if (problem.isEmpty())
            out << "demo: installation finished; the receiver's data and the backup are complete" << Qt::endl;
        else
            out << "demo: " << problem << Qt::endl;
        if (automatic)
            app.exit(problem.isEmpty() && logPane->toPlainText().endsWith("-> Installation complete.") ? 0 : 1);
    });
    watch.start(10);

    // Unattended, a question has an answer only where a person's is plain:
    // the receiver keeps its own language, as that question's default has it,
    // and a close while flashing quits when asked to. Any other question means
    // the installation did not go as it should.
    const bool quitWhileFlashing = options.isSet("quit-while-flashing");
    QTimer questions;
    QObject::connect(&questions, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        out << "demo: the installer asks: " << box->text() << Qt::endl;
        if (box->text().startsWith("The receiver uses ")) {
            for (const QString &name : before.keys()) {
                if (name.endsWith(".lng"))
                    keptLanguageFile = name;
            }
            out << "demo: answering " << box->defaultButton()->text().remove(QChar('&')) << Qt::endl;
            box->defaultButton()->click();
            return;
        }
        if (quitWhileFlashing && box->text().startsWith("The firmware is being written. Quit anyway?")) {
            box->button(QMessageBox::Yes)->click();
            return;
        }
        app.exit(1);
    });
    bool closing = false;
    QObject::connect(logPane, &QTextBrowser::textChanged, [&] {
        // The flasher's progress has begun: the script runs and its flasher with it.
        if (quitWhileFlashing && !closing && logPane->toPlainText().contains("Writing at")) {
            closing = true;
            out << "demo: closing the window while the firmware is written" << Qt::endl;
            QTimer::singleShot(0, &window, &QWidget::close);
        }
    });

    if (automatic) {
        questions.start(50);
        QTimer::singleShot(0, [&] {
            screenshot("window-start.png");
            out << "demo: pressing \"Install FW\"" << Qt::endl;
            install->click();
        });
        QTimer::singleShot(installationTimeLimitMs, [&] {
            out << "demo: the installation did not finish within two minutes" << Qt::endl;
            app.exit(1);
        });
    }
    return app.exec();
}
