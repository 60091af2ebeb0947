#include "mainwindow.h"
#include "session.h"

void MainWindow::dispatchReply()
{
    recived.append(serial.readAll());

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
