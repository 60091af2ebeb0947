// receiver-sim [--baud-pacing] FOLDER
// Serves the receiver's protocol on a pseudo-terminal, keeping the receiver's
// files in FOLDER; prints the port path as its first line and runs until
// interrupted.

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
    options.addPositionalArgument("FOLDER", "Folder holding the receiver's files, one per file.");
    options.process(app);
    if (options.positionalArguments().size() != 1)
        options.showHelp(2);

    ReceiverSimulator receiver;
    if (!receiver.start()) {
        QTextStream(stderr) << receiver.errorString() << "\n";
        return 1;
    }
    receiver.setStoreFolder(options.positionalArguments().first());
    receiver.setBaudPacing(options.isSet("baud-pacing"));
    // What a restarting ESP32 prints on its serial port.
    receiver.faults().startupNoise = "ets Jun  8 2016 00:22:57\r\nrst:0xc (SW_CPU_RESET),boot:0x13\r\n";

    QTextStream(stdout) << receiver.portName() << Qt::endl;

    std::signal(SIGINT, [](int) { QCoreApplication::quit(); });
    std::signal(SIGTERM, [](int) { QCoreApplication::quit(); });
    return app.exec();
}
