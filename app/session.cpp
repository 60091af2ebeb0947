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

void resetSession()
{
    serial.close();
    connected = false;
    file.setFileName(QString());
    totalMemory = 0;
    usedMemory = 0;
    recived.clear();
    mode.clear();
    sizeOfFile = 0;
    dataBytes.clear();
    writeBytesLength = 0;
    sizeOfData = 0;
    nextFileNameUpload.clear();
    currentRowDownloadAll = -1;
    installStat = 0;
}
