#include "mainwindow.h"
#include "session.h"

void MainWindow::dispatchReply()
{
    // Every byte the port holds, read straight onto the end of the buffer:
    // readAll() would first reserve room for a whole block of its own each time.
    const int held = recived.size();
    recived.resize(held + int(serial.bytesAvailable()));
    recived.resize(held + int(qMax<qint64>(0, serial.read(recived.data() + held, recived.size() - held))));

    // Whatever follows a reboot request, its answer or the restart noise, ends the wait.
    if (mode == "REBOOT") {
        mode.clear();
        recived.clear();
        return;
    }

    if (mode == "DOWNLOAD")
        handleDownloadReply();
    else if (mode == "UPLOAD")
        handleUploadReply();
    else if (mode == "MEMORY")
        handleMemoryReply();
    else if (mode == "LIST")
        handleListReply();
    else if (mode == "REMOVE")
        handleRemoveReply();
    else if (mode == "ERASE")
        handleEraseReply();
    else if (mode == "EXECUTE")
        handleExecuteReply();
}
