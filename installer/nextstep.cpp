#include "installer/nextstep.h"
#include "device/porterrors.h"
#include "installer/flash.h"

#include <QStringList>

namespace {
// The bridges a receiver may hang on, or what to do when there is none.
QString bridgesFound(const QVector<SeenPort> &ports)
{
    QStringList bridges;
    for (const SeenPort &port : ports) {
        if (isReceiverBridge(port))
            bridges << port.name + (port.description.isEmpty() ? QString() : " (" + port.description + ")");
    }
    if (bridges.isEmpty())
        return "no USB-to-serial bridge of the kinds receivers use is plugged in: plug the receiver in, or install its "
               "driver with Install driver";
    return "USB-to-serial bridges found: " + bridges.join(", ");
}
}

QString nextStep(Trouble trouble, const TroubleContext &context)
{
    const QString offered = context.flashStarted ? "; the saved data will be offered then" : QString();
    switch (trouble) {
    case Trouble::PortNotOpened:
        return portErrorAdvice(context.portError, context.port);
    case Trouble::LinkLost:
        return portErrorAdvice(QSerialPort::ResourceError, context.port) + offered;
    case Trouble::NothingAnswers:
        return "nothing answers on " + context.port + ": is the receiver switched on, and is this its port? "
             + bridgesFound(context.ports);
    case Trouble::ReceiverFault:
        return "the receiver still holds its data: switch it off and on, then press Install FW again";
    case Trouble::PcFault:
        return "the receiver still holds its data: free some space on the PC, then press Install FW again";
    case Trouble::NoRoom:
        return "the receiver has no room for its data: press Install FW again" + offered;
    case Trouble::FlasherLog:
        return "remove " + installLogPath + " by hand, or let the program write to the folder firmware, then press "
               "Install FW again";
    case Trouble::FlasherFailed:
        return "the flasher's words are above, and all of them in " + installLogPath + ": check that the receiver is "
               "plugged in and no other program uses " + context.port + ", then press Install FW to try again" + offered;
    case Trouble::ReceiverAfterFlash:
        return "switch the receiver off and on, then press Install FW" + offered;
    case Trouble::PortNotBack:
        return "plug the receiver in again, choose its port and press Install FW" + offered;
    case Trouble::OtherReceiver:
        return "plug in the receiver the data was saved from, choose its port and press Install FW" + offered;
    case Trouble::BackupFolder:
        return "free some space on the PC, or move the program into a folder you can write to, then press Install FW";
    case Trouble::Cancelled:
        return context.flashStarted ? "press Install FW to put the saved data back" : "the receiver still holds its data";
    }
    return QString();
}
