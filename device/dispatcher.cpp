#include "app/mainwindow.h"
#include "app/session.h"
#include "device/frames.h"

void MainWindow::dispatchReply()
{
    // Every byte the port holds, read straight onto the end of the buffer:
    // readAll() would first reserve room for a whole block of its own each time.
    const int held = recived.size();
    // Bytes after a pause in a file's content may be a restarted receiver's boot text.
    const bool stalled = !sinceArrival.isValid() || sinceArrival.elapsed() >= installation.timings().replyStallMs;
    sinceArrival.start();
    if (stalled && mode == Mode::Download && sizeOfFile > 0 && safety.resumedAt < 0)
        safety.resumedAt = held;
    recived.resize(held + int(serial.bytesAvailable()));
    recived.resize(held + int(qMax<qint64>(0, serial.read(recived.data() + held, recived.size() - held))));

    // Whatever follows a reboot request, its answer or the restart noise, ends the wait.
    if (mode == Mode::Reboot) {
        mode.clear();
        recived.clear();
        return;
    }

    if (mode == Mode::Download)
        handleDownloadReply();
    else if (mode == Mode::Upload)
        handleUploadReply();
    else if (mode == Mode::Memory)
        handleMemoryReply();
    else if (mode == Mode::List)
        handleListReply();
    else if (mode == Mode::Remove)
        handleRemoveReply();
    else if (mode == Mode::Erase)
        handleEraseReply();
    else if (mode == Mode::Execute)
        handleExecuteReply();
}
