// Benchmark of the installer against receiver-sim (not a test: it passes or
// fails nothing). Prints one table and writes it as CSV into the folder given.
//   veltra-bench RECEIVER_SIM RESULTS_FOLDER [--unpaced-only]
//
// Paced: a complete installation over a line paced to 115200 baud 8N1,
// phase by phase against the time its bytes need on the wire, and the
// installer's processor time. Unpaced: a 256 KiB download and upload and a
// listing of 500 files, the installer's own cost per exchange.

#include "app/session.h"
#include "testkit.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStatusBar>
#include <QTableWidget>
#include <QTextBrowser>
#include <QTextStream>

#include <sys/resource.h>

namespace {
constexpr double lineBytesPerSecond = 11520;

struct Row
{
    Row(const QString &measure = QString()) : measure(measure) {}
    Row(const QString &measure, qint64 out, qint64 in, double seconds)
        : measure(measure), bytesOut(out), bytesIn(in), measuredSeconds(seconds) {}
    QString measure;
    qint64 bytesOut = 0;
    qint64 bytesIn = 0;
    double boundSeconds = 0;
    double measuredSeconds = 0;
    QString note;
};

double cpuSeconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QByteArray sampleFile(const QString &name, int size)
{
    QByteArray content;
    for (int line = 0; content.size() < size; ++line)
        content += name.toUtf8() + "," + QByteArray::number(87500 + (line * 37) % 20500) + ",Station " + QByteArray::number(line) + ",-" + QByteArray::number(40 + line % 55) + "\n";
    return content.left(size);
}

// A receiver-sim process serving a folder; stopped with the object.
class Receiver
{
public:
    Receiver(const QString &program, const QString &folder, bool paced)
    {
        QStringList arguments;
        if (paced)
            arguments << "--baud-pacing";
        process.start(program, arguments << folder);
        if (!process.waitForReadyRead(10000))
            qFatal("receiver-sim did not start");
        port = QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    ~Receiver()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
    QProcess process;
    QString port;
};

// Counts the bytes crossing the line each way, as the installer sees them.
struct LineCount
{
    qint64 out = 0;
    qint64 in = 0;
};

class Runner
{
public:
    Runner(const QString &simulator) : simulator(simulator)
    {
        // Before the dispatcher is attached, so each arrival is counted before it is read.
        QObject::connect(&serial, &QSerialPort::bytesWritten, &context, [this](qint64 bytes) { line.out += bytes; });
        QObject::connect(&serial, &QSerialPort::readyRead, &context, [this] { line.in += serial.bytesAvailable(); });
    }

    QList<Row> pacedInstallation();
    QList<Row> unpaced();

private:
    void choosePort(Rig &rig, const QString &port);
    QString simulator;
    QObject context;
    LineCount line;
};

void Runner::choosePort(Rig &rig, const QString &port)
{
    rig.portBox()->addItem(port);
    rig.portBox()->setCurrentText(port);
}

QList<Row> Runner::pacedInstallation()
{
    Rig rig{ InstallTimings() };     // the program's own limits over a paced line
    rig.window->show();
    const QString store = rig.workspace.path() + "/receiver";
    QDir().mkpath(store);
    const QList<QPair<QString, int>> dataSet = {
        { "ap.csv", 9000 }, { "city.csv", 7000 }, { "preset.csv", 6000 }, { "scan.csv", 12000 },
        { "rus.lng", 4000 }, { "deu.lng", 4000 }, { "index.htm", 3000 }, { "style.css", 2000 },
        { "logo.bmp", 8000 }, { "wifi.ini", 300 }, { "notes.txt", 5000 }, { "beep.wav", 3700 },
    };
    for (const auto &entry : dataSet) {
        QFile out(store + "/" + entry.first);
        out.open(QIODevice::WriteOnly);
        out.write(sampleFile(entry.first, entry.second));
    }
    qputenv("VELTRA_RECEIVER_STORE", QFile::encodeName(store));
    Receiver receiver(simulator, store, true);
    choosePort(rig, receiver.port);

    // Phases start and end at the log lines that mark them.
    struct Mark { QString line; int phase; bool start; };
    const QList<Mark> marks = {
        { "...connected to device", 0, true }, { "-> Save data from device:", 0, false },
        { "-> Save data from device:", 1, true }, { "...disconnected", 1, false },
        { "...connected to device", 2, true }, { "-> Restore data to device:", 2, false },
        { "-> Restore data to device:", 3, true }, { "-> Verify restored data:", 3, false },
        { "-> Verify restored data:", 4, true }, { "-> Installation complete.", 4, false },
        { "-> Install firmware...", 5, true }, { "...done", 5, false },
    };
    QList<Row> phases = { { "listing before backup" }, { "backup (download all)" }, { "listing after flashing" },
                          { "restore (upload all)" }, { "verification (read back)" }, { "flashing script" } };
    QVector<qint64> startNs(phases.size(), -1);
    QVector<LineCount> startCount(phases.size());
    QElapsedTimer clock;
    clock.start();
    int printed = 0;
    QObject::connect(rig.logPane(), &QTextBrowser::textChanged, &context, [&] {
        const QStringList lines = rig.logLines();
        for (; printed < lines.size(); ++printed) {
            for (const Mark &mark : marks) {
                if (lines.at(printed) != mark.line)
                    continue;
                if (mark.start && startNs[mark.phase] < 0) {
                    startNs[mark.phase] = clock.nsecsElapsed();
                    startCount[mark.phase] = line;
                    break;
                }
                if (!mark.start && startNs[mark.phase] >= 0 && phases[mark.phase].measuredSeconds == 0) {
                    phases[mark.phase].measuredSeconds = (clock.nsecsElapsed() - startNs[mark.phase]) / 1e9;
                    phases[mark.phase].bytesOut = line.out - startCount[mark.phase].out;
                    phases[mark.phase].bytesIn = line.in - startCount[mark.phase].in;
                }
            }
        }
    });

    const double cpuBefore = cpuSeconds();
    clock.restart();
    rig.install();
    if (!rig.installationEnded(300000) || !rig.logPane()->toPlainText().endsWith("-> Installation complete."))
        qFatal("the paced installation did not complete: %s", qPrintable(rig.logLines().last()));
    const double wall = clock.nsecsElapsed() / 1e9;
    const double cpu = cpuSeconds() - cpuBefore;

    const Row flashing = phases.takeLast();
    Row total("serial phases together");
    for (Row &phase : phases) {
        phase.boundSeconds = (phase.bytesOut + phase.bytesIn) / lineBytesPerSecond;
        total.bytesOut += phase.bytesOut;
        total.bytesIn += phase.bytesIn;
        total.boundSeconds += phase.boundSeconds;
        total.measuredSeconds += phase.measuredSeconds;
    }
    phases << total;
    Row processor("installer processor time");
    processor.measuredSeconds = cpu;
    processor.boundSeconds = wall - flashing.measuredSeconds;
    processor.note = QString("%1% of the wall time without the flashing script").arg(100 * cpu / processor.boundSeconds, 0, 'f', 1);
    phases << processor;
    return phases;
}

QList<Row> Runner::unpaced()
{
    QList<Row> rows;
    const int bigSize = 256 * 1024;
    QByteArray big;
    for (int i = 0; i < bigSize; ++i)
        big += char((i * 131 + i / 256) & 0xff);

    {
        Rig rig;
        rig.window->show();
        const QString store = rig.workspace.path() + "/receiver";
        QDir().mkpath(store);
        QFile out(store + "/big.bin");
        out.open(QIODevice::WriteOnly);
        out.write(big);
        out.close();
        Receiver receiver(simulator, store, false);
        choosePort(rig, receiver.port);
        if (!rig.connectAndList())
            qFatal("no listing");

        QDir().mkdir("files");
        LineCount before = line;
        QElapsedTimer clock;
        clock.start();
        rig.invoke("on_pushButton_DownloadAll_clicked");
        waitUntil([] { return currentRowDownloadAll == -1 && mode.isEmpty(); }, 60000);
        Row download("unpaced download of 256 KiB", line.out - before.out, line.in - before.in, clock.nsecsElapsed() / 1e9);
        if (rig.workspace.readFile("files/big.bin") != big)
            qFatal("the download is not whole");
        download.note = QString("%1 KiB/s").arg(256 / download.measuredSeconds, 0, 'f', 0);
        rows << download;

        rig.workspace.writeFile("files/ap.csv", big);
        before = line;
        bool complete = false;
        QObject::connect(rig.statusBar(), &QStatusBar::messageChanged, &context, [&](const QString &text) {
            if (text == "uploading complete" && !complete) {
                complete = true;
                rows << Row("unpaced upload of 256 KiB", line.out - before.out, line.in - before.in, clock.nsecsElapsed() / 1e9);
            }
        });
        clock.restart();
        rig.invoke("on_pushButton_UploadAll_clicked");
        waitUntil([&] { return complete; }, 60000);
        rows.last().note = QString("%1 KiB/s").arg(256 / rows.last().measuredSeconds, 0, 'f', 0);
        waitUntil([] { return nextFileNameUpload.isEmpty() && mode.isEmpty(); }, 60000);
    }
    {
        Rig rig;
        rig.window->show();
        const QString store = rig.workspace.path() + "/receiver";
        QDir().mkpath(store);
        for (int i = 0; i < 500; ++i) {
            QFile out(store + QString("/station%1.csv").arg(i, 3, 10, QChar('0')));
            out.open(QIODevice::WriteOnly);
            out.write(QByteArray(20 + i % 50, 's'));
        }
        Receiver receiver(simulator, store, false);
        choosePort(rig, receiver.port);
        const LineCount before = line;
        QElapsedTimer clock;
        clock.start();
        if (!rig.connectAndList() || rig.table()->rowCount() != 500)
            qFatal("the listing of 500 files failed");
        Row listing("unpaced listing of 500 files", line.out - before.out, line.in - before.in, clock.nsecsElapsed() / 1e9);
        listing.note = QString("%1 ms").arg(listing.measuredSeconds * 1000, 0, 'f', 1);
        rows << listing;
    }
    return rows;
}
}

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3)
        qFatal("usage: veltra-bench RECEIVER_SIM RESULTS_FOLDER [--unpaced-only]");
    const bool unpacedOnly = argc > 3 && QByteArray(argv[3]) == "--unpaced-only";
    const QString simulator = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const QString results = QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath();

    Runner runner(simulator);
    const QList<Row> rows = (unpacedOnly ? QList<Row>() : runner.pacedInstallation()) + runner.unpaced();

    QTextStream out(stderr);
    QDir().mkpath(results);
    const QString csvPath = results + "/bench-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss") + ".csv";
    QFile csv(csvPath);
    csv.open(QIODevice::WriteOnly);
    QTextStream csvOut(&csv);
    csvOut << "measure,bytes_out,bytes_in,bound_s,measured_s,ratio,note\n";
    out << QString("%1 %2 %3 %4 %5 %6  %7\n").arg("measure", -30).arg("out B", 8).arg("in B", 8).arg("bound s", 8)
               .arg("measured s", 10).arg("ratio", 6).arg("");
    for (const Row &row : rows) {
        const QString ratio = row.boundSeconds > 0 ? QString::number(row.measuredSeconds / row.boundSeconds, 'f', 3) : QString();
        out << QString("%1 %2 %3 %4 %5 %6  %7\n").arg(row.measure, -30).arg(row.bytesOut, 8).arg(row.bytesIn, 8)
                   .arg(row.boundSeconds > 0 ? QString::number(row.boundSeconds, 'f', 3) : QString(), 8)
                   .arg(QString::number(row.measuredSeconds, 'f', 3), 10).arg(ratio, 6).arg(row.note);
        csvOut << row.measure << ',' << row.bytesOut << ',' << row.bytesIn << ',' << row.boundSeconds << ','
               << row.measuredSeconds << ',' << ratio << ",\"" << row.note << "\"\n";
    }
    out << "table written to " << csvPath << "\n";
    return 0;
}
