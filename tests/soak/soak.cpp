// Soak: complete installations back to back against the simulated receiver
// at full speed. Fails on any lost or changed byte, on resident memory that
// grows beyond a small bound, or on file descriptors left open.
//   veltra-soak [CYCLES]   (default 200)

#include "app/session.h"
#include "testkit.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTextStream>

#include <unistd.h>

namespace {
constexpr qint64 allowedGrowthKb = 8 * 1024;
constexpr int warmUpCycles = 10;

qint64 residentKb()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * sysconf(_SC_PAGESIZE) / 1024;
}

int openDescriptors()
{
    return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size();
}

QMap<QString, QByteArray> dataSet()
{
    QMap<QString, QByteArray> files;
    for (const char *name : { "ap.csv", "city.csv", "preset.csv", "scan.csv" }) {
        QByteArray content;
        for (int i = 0; i < 50; ++i)
            content += QByteArray(name) + "," + QByteArray::number(87500 + i * 100) + ",Station " + QByteArray::number(i) + "\n";
        files.insert(name, content);
    }
    files.insert("rus.lng", "lang=rus\n");
    files.insert("index.htm", "<html></html>\n");
    return files;
}
}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The report goes to standard error; standard output carries the flashing script's chatter.
    QTextStream out(stderr);
    const int cycles = argc > 1 ? QByteArray(argv[1]).toInt() : 200;

    Rig rig;
    rig.useFolderStore();
    rig.receiver.faults().bootText = "ets Jun  8 2016 00:22:57\r\nrst:0xc (SW_CPU_RESET)\r\n";
    const QMap<QString, QByteArray> original = dataSet();

    qint64 memoryAfterWarmUp = 0;
    int descriptorsAtStart = 0;
    int failures = 0;
    QElapsedTimer clock;
    clock.start();
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        // The test kit records every request and status message: forget them.
        rig.receiver.clearLog();
        rig.statusHistory.clear();
        rig.receiver.clearFiles();
        for (auto it = original.cbegin(); it != original.cend(); ++it)
            rig.receiver.putFile(it.key(), it.value());
        rig.install();
        QString problem;
        if (!rig.installationEnded(60000))
            problem = "the installation did not finish";
        else if (!rig.logPane()->toPlainText().endsWith("-> Installation complete."))
            problem = "the installation ended early: " + rig.logLines().last();
        const QMap<QString, QByteArray> after = rig.receiver.files();
        for (const char *name : { "ap.csv", "city.csv", "preset.csv", "scan.csv" }) {
            if (after.value(name) != original.value(name))
                problem = QString("the receiver's %1 changed").arg(name);
        }
        for (auto it = original.cbegin(); it != original.cend(); ++it) {
            if (rig.workspace.readFile("files/" + it.key()) != it.value())
                problem = "the backup of " + it.key() + " is not whole";
        }
        // Older backups pile up by design; a soak clears them between cycles.
        for (const QString &aside : QDir().entryList(QDir::Dirs | QDir::NoDotAndDotDot).filter(QRegularExpression("^[0-9]{8}$")))
            QDir(aside).removeRecursively();
        waitUntil([] { return mode.isEmpty(); }, 5000);  // the restart output ends the reboot request

        if (!problem.isEmpty()) {
            ++failures;
            out << "cycle " << cycle << ": " << problem << Qt::endl;
        }
        if (cycle == 1)
            descriptorsAtStart = openDescriptors();
        if (cycle == warmUpCycles)
            memoryAfterWarmUp = residentKb();
    }

    const qint64 memoryAtEnd = residentKb();
    const int descriptorsAtEnd = openDescriptors();
    out << "soak: " << cycles << " installations in " << clock.elapsed() / 1000.0 << " s" << Qt::endl;
    out << "soak: receiver bytes read " << rig.receiver.bytesRead() << ", written " << rig.receiver.bytesWritten() << Qt::endl;
    out << "soak: resident memory after " << warmUpCycles << " cycles " << memoryAfterWarmUp << " KiB, at the end "
        << memoryAtEnd << " KiB" << Qt::endl;
    out << "soak: open descriptors after the first cycle " << descriptorsAtStart << ", at the end " << descriptorsAtEnd << Qt::endl;
    if (memoryAtEnd - memoryAfterWarmUp > allowedGrowthKb) {
        ++failures;
        out << "soak: resident memory grew by " << memoryAtEnd - memoryAfterWarmUp << " KiB" << Qt::endl;
    }
    if (descriptorsAtEnd != descriptorsAtStart) {
        ++failures;
        out << "soak: descriptors leaked" << Qt::endl;
    }
    out << cycles - failures << " passed, " << failures << " failed" << Qt::endl;
    return failures == 0 ? 0 : 1;
}
