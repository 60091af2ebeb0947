// The receiver simulator's ESP32 ROM loader against the real esptool (4.7.0,
// which scripts/esptool fetches), run as the demo's flashing script runs it:
// --chip esp32 --no-stub, with the modem-line preload passing its resets on
// to the simulator. Each test has a fresh receiver, its flash erased.

#include "receiversim/receiversimulator.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
// The receiver's flash layout, restated so that a changed one is caught.
constexpr int firmwareOffset = 0x10000;
constexpr int fileSystemOffset = 0x290000;
constexpr int esptoolTimeLimitMs = 60000;

// Bytes that don't compress, different for each seed.
QByteArray madeUpFirmware(int size, quint32 seed)
{
    QByteArray image(size, '\0');
    for (char &byte : image) {
        seed = seed * 1103515245 + 12345;
        byte = char(seed >> 16);
    }
    return image;
}

// Lines of station data, which compress well: the loader has to inflate them.
QByteArray madeUpFileSystem(int size)
{
    QByteArray image;
    for (int line = 0; image.size() < size; ++line)
        image += QString("%1;Station %2;%3.%4 MHz\n").arg(line).arg(line % 97).arg(87 + line % 21).arg(line % 10).toUtf8();
    return image.left(size);
}

struct EsptoolRun
{
    int exitCode = -1;
    QString output;
};
}

class RomLoaderTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void writeThenVerify();
    void writeIntoFileSystemWipesFiles();
    void classicReset();
    void neverDownloadMode();
    void stopHalfway();
    void wrongMd5();

private:
    QString saved(const QString &name, const QByteArray &content);
    EsptoolRun esptool(const QStringList &arguments, const QString &configFile = QString());

    QTemporaryDir dir;
    std::unique_ptr<ReceiverSimulator> receiver;
};

void RomLoaderTest::initTestCase()
{
    if (!QFile::exists(VELTRA_ESPTOOL "/esptool/__init__.py"))
        QFAIL("no esptool in " VELTRA_ESPTOOL ": scripts/esptool fetches it (configure with -DVELTRA_ESPTOOL=FOLDER for another place)");
    QVERIFY(dir.isValid());
    // For the spy on QProcess::finished.
    qRegisterMetaType<QProcess::ExitStatus>();
}

void RomLoaderTest::init()
{
    receiver = std::make_unique<ReceiverSimulator>();
    QVERIFY2(receiver->start(), qPrintable(receiver->errorString()));
    receiver->setResetLinesFile(dir.filePath("lines"));
    receiver->faults().bootText = ReceiverSimulator::esp32BootText();
    receiver->putFile("ap.csv", "1;Radio One;88.1\n");
    receiver->putFile("city.csv", "Praha\n");
}

void RomLoaderTest::cleanup()
{
    receiver.reset();
}

QString RomLoaderTest::saved(const QString &name, const QByteArray &content)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("can't write %s", qPrintable(file.fileName()));
    return file.fileName();
}

// Runs esptool against the receiver while the event loop serves the receiver.
EsptoolRun RomLoaderTest::esptool(const QStringList &arguments, const QString &configFile)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    // Away from any esptool.cfg of the machine's: esptool reads one from its working folder.
    process.setWorkingDirectory(dir.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PYTHONPATH", VELTRA_ESPTOOL);
    environment.insert("LD_PRELOAD", MODEM_LINES_PRELOAD);
    environment.insert("VELTRA_MODEM_LINES", dir.filePath("lines"));
    if (!configFile.isEmpty())
        environment.insert("ESPTOOL_CFGFILE", configFile);
    process.setProcessEnvironment(environment);
    QSignalSpy finished(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    process.start(VELTRA_PYTHON, QStringList{ "-m", "esptool", "--chip", "esp32", "--port", receiver->portName(), "--no-stub" }
                                     + arguments);
    EsptoolRun run;
    if (!finished.wait(esptoolTimeLimitMs)) {
        process.kill();
        process.waitForFinished();
        run.output = "esptool did not end within a minute";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = QString::fromUtf8(process.readAll());
    return run;
}

// A write outside the file system keeps the receiver's files; verify_flash
// tells the image written from another; the board runs its firmware after
// esptool's reset.
void RomLoaderTest::writeThenVerify()
{
    const QByteArray firmware = madeUpFirmware(8 * 1024 + 100, 1);
    const QString image = saved("firmware.bin", firmware);

    EsptoolRun run = esptool({ "write_flash", "--flash_size", "4MB", QString::number(firmwareOffset), image });
    QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    QVERIFY2(run.output.contains("Chip is ESP32-D0WD-V3 (revision v3.0)"), qPrintable(run.output));
    QVERIFY2(run.output.contains("Hash of data verified."), qPrintable(run.output));
    QVERIFY2(run.output.contains("Hard resetting via RTS pin..."), qPrintable(run.output));
    QCOMPARE(receiver->flashImage().mid(firmwareOffset, firmware.size()), firmware);
    QCOMPARE(receiver->files().keys(), QStringList({ "ap.csv", "city.csv" }));
    QTRY_VERIFY_WITH_TIMEOUT(!receiver->inDownloadMode(), 10000);

    run = esptool({ "verify_flash", QString::number(firmwareOffset), image });
    QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    QVERIFY2(run.output.contains("-- verify OK (digest matched)"), qPrintable(run.output));

    const QString other = saved("other.bin", madeUpFirmware(firmware.size(), 2));
    run = esptool({ "verify_flash", QString::number(firmwareOffset), other });
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.output.contains("-- verify FAILED (digest mismatch)"), qPrintable(run.output));
    QVERIFY2(run.output.contains("A fatal error occurred: Verify failed."), qPrintable(run.output));
}

// A compressed write, inflated by the loader, into the file system's region.
void RomLoaderTest::writeIntoFileSystemWipesFiles()
{
    const QByteArray fileSystem = madeUpFileSystem(48 * 1024);
    const QString image = saved("filesystem.bin", fileSystem);

    const EsptoolRun run = esptool({ "write_flash", "--compress", "--flash_size", "4MB", QString::number(fileSystemOffset), image });
    QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    QVERIFY2(run.output.contains("Hash of data verified."), qPrintable(run.output));
    QCOMPARE(receiver->flashImage().mid(fileSystemOffset, fileSystem.size()), fileSystem);
    QVERIFY(receiver->files().isEmpty());
}

// esptool's reset on Windows, which passes through both lines set (EN
// rising) on its way to IO0 low: the chip samples IO0 a moment after EN
// rose, and still starts its ROM loader. flash_id reads the flash chip's id
// through the SPI peripheral's registers.
void RomLoaderTest::classicReset()
{
    const QString config = saved("classic-reset.cfg", "[esptool]\ncustom_reset_sequence = D0|R1|W0.1|D1|R0|W0.05|D0\n");

    const EsptoolRun run = esptool({ "--connect-attempts", "1", "flash_id" }, config);
    QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    QVERIFY2(run.output.contains("Manufacturer: c8\nDevice: 4016\nDetected flash size: 4MB"), qPrintable(run.output));
}

void RomLoaderTest::neverDownloadMode()
{
    receiver->faults().neverDownloadMode = true;
    const QString image = saved("firmware.bin", madeUpFirmware(4096, 3));

    // One attempt says what seven would, in a seventh of the time.
    const EsptoolRun run = esptool({ "--connect-attempts", "1", "write_flash", QString::number(firmwareOffset), image });
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.output.contains("A fatal error occurred: Failed to connect to ESP32: No serial data received."),
             qPrintable(run.output));
    QCOMPARE(receiver->files().size(), 2);
}

// The loader falls silent at the fifth of eight blocks: the first four are
// in the flash, the rest stays erased.
void RomLoaderTest::stopHalfway()
{
    receiver->faults().romLoader.stopHalfway = true;
    const QByteArray firmware = madeUpFirmware(8 * 1024, 4);
    const QString image = saved("firmware.bin", firmware);
    // esptool tries a block three times, each waiting three seconds; once is enough here.
    const QString config = saved("one-attempt.cfg", "[esptool]\nwrite_block_attempts = 1\n");

    const EsptoolRun run = esptool({ "write_flash", QString::number(firmwareOffset), image }, config);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.output.contains("A fatal error occurred: Serial data stream stopped: Possible serial noise or corruption."),
             qPrintable(run.output));
    QCOMPARE(receiver->flashImage().mid(firmwareOffset, 4096), firmware.left(4096));
    QCOMPARE(receiver->flashImage().mid(firmwareOffset + 4096, 4096), QByteArray(4096, char(0xFF)));
}

void RomLoaderTest::wrongMd5()
{
    receiver->faults().romLoader.wrongMd5 = true;
    const QString image = saved("firmware.bin", madeUpFirmware(4096, 5));

    const EsptoolRun run = esptool({ "write_flash", QString::number(firmwareOffset), image });
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.output.contains("A fatal error occurred: MD5 of file does not match data in flash!"), qPrintable(run.output));
}

QTEST_GUILESS_MAIN(RomLoaderTest)
#include "tst_romloader.moc"
