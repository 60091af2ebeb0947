#include "app/session.h"

bool connected = false;
QSerialPort serial;
QFile file;
quint32 totalMemory = 0;
quint32 usedMemory = 0;
QByteArray recived;
QString mode;
int sizeOfFile = 0;
QByteArray dataBytes;
int writeBytesLength = 0;
quint32 sizeOfData = 0;
QString nextFileNameUpload;
int currentRowDownloadAll = -1;
int installStat = 0;
QString lang[10] = { "ENG", "RUS", "ITA", "CZE", "DEU", "FRA", "POL", "POR", "RON", "SPA" };

int uploadOffset = 0;
quint32 listedSize = 0;
int readErrorsInARow = 0;
QSet<QString> savedNames;
bool listWhole = true;
bool restorePending = false;
RestoreCheck restoreCheck;
bool downloadIntoMemory = false;
std::optional<QByteArray> readBack;
QString backupMovedTo;
QStringList lostDataFiles;
ScriptRun *flashScript = nullptr;

void resetSafetyState()
{
    uploadOffset = 0;
    listedSize = 0;
    readErrorsInARow = 0;
    savedNames.clear();
    listWhole = true;
    restorePending = false;
    restoreCheck.clear();
    downloadIntoMemory = false;
    readBack.reset();
    backupMovedTo.clear();
    lostDataFiles.clear();
    flashScript = nullptr;
}
