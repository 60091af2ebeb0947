// receiver-sim [options] FOLDER
// Serves the receiver's protocol on a pseudo-terminal, keeping the receiver's
// files in FOLDER; prints the port path as its first line and runs until
// interrupted. It prints an ESP32's boot text at every restart; the options
// make it a slower or less orderly receiver, or one that esptool can flash.

#include "receiversim/receiversimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <csignal>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription("Simulated VELTRA receiver on a pseudo-terminal.");
    options.addHelpOption();
    options.addOption({ "baud-pacing", "Pace the line to 115200 baud 8N1 (11,520 bytes a second)." });
    options.addOption({ "start", "Milliseconds from a restart until the firmware answers.", "MS", "0" });
    options.addOption({ "start-after-flash", "The same for the first start after a flash.", "MS", "0" });
    options.addOption({ "late", "Answer every request this many milliseconds late.", "MS", "0" });
    options.addOption({ "slow-first-answer", "Answer the first request of each exchange this many milliseconds late.", "MS", "0" });
    options.addOption({ "repeat-previous", "Send every reply behind the previous one again." });
    options.addOption({ "gone-after-reset", "The port leaves the PC this many milliseconds at a restart.", "MS", "0" });
    options.addOption({ "port-link", "Serve the port under this path too, which stays when the port comes back.", "PATH" });
    options.addOption({ "reset-lines", "Follow the DTR and RTS settings that the modem-line preload writes into FILE "
                                       "(VELTRA_MODEM_LINES), as an ESP32 board's reset circuit: esptool's reset "
                                       "starts its ROM loader, through which esptool writes the flash.", "FILE" });
    options.addOption({ "never-download-mode", "With --reset-lines: the lines don't reach the chip, so esptool never "
                                               "reaches its ROM loader." });
    options.addOption({ "stop-writes-halfway", "The ROM loader falls silent once half of a write's blocks came." });
    options.addOption({ "wrong-md5", "The ROM loader reports an MD5 that isn't the flash's." });
    options.addPositionalArgument("FOLDER", "Folder holding the receiver's files, one per file.");
    options.process(app);
    if (options.positionalArguments().size() != 1)
        options.showHelp(2);

    ReceiverSimulator receiver;
    if (options.isSet("port-link"))
        receiver.setPortLink(options.value("port-link"));
    if (!receiver.start()) {
        QTextStream(stderr) << receiver.errorString() << "\n";
        return 1;
    }
    receiver.setStoreFolder(options.positionalArguments().first());
    receiver.setBaudPacing(options.isSet("baud-pacing"));
    if (options.isSet("reset-lines"))
        receiver.setResetLinesFile(options.value("reset-lines"));
    ReceiverFaults &faults = receiver.faults();
    faults.bootText = ReceiverSimulator::esp32BootText();
    faults.startMs = options.value("start").toInt();
    faults.startAfterFlashMs = options.value("start-after-flash").toInt();
    faults.delayMs = options.value("late").toInt();
    faults.slowFirstAnswerMs = options.value("slow-first-answer").toInt();
    faults.repeatPrevious = options.isSet("repeat-previous");
    faults.goneAfterResetMs = options.value("gone-after-reset").toInt();
    faults.neverDownloadMode = options.isSet("never-download-mode");
    faults.romLoader.stopHalfway = options.isSet("stop-writes-halfway");
    faults.romLoader.wrongMd5 = options.isSet("wrong-md5");

    QTextStream(stdout) << receiver.portName() << Qt::endl;

    std::signal(SIGINT, [](int) { QCoreApplication::quit(); });
    std::signal(SIGTERM, [](int) { QCoreApplication::quit(); });
    return app.exec();
}
