#ifndef WORKSPACE_H
#define WORKSPACE_H

// What every test may share, with no window or receiver: a temporary working
// folder laid out as a release is, and bytes written as hexadecimal.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A temporary folder that is the working folder while the object lives.
class Workspace
{
public:
    Workspace();
    ~Workspace();
    QString path() const;
    void writeFile(const QString &relativePath, const QByteArray &content);
    QByteArray readFile(const QString &relativePath) const;
    // The demo's firmware folder and driver script, and the test kit's
    // flashing script (tests/testkit/flash.sh), as a release lays them out.
    void installDemoRelease();
    // A flash.sh that writes firmware/install.log with these lines.
    void writeFlashScript(const QStringList &logLines, bool writeLog = true);

private:
    QTemporaryDir dir;
    QString previous;
};

// The folders of the working folder named by eight digits: older backups.
QStringList eightDigitFolders();

// The saved files of a backup folder, without the restore record that may
// lie beside them.
QStringList savedFiles(const QString &folder = "files");

// The frame tag every request starts with, restated here so that a changed
// constant in the program is caught.
extern const QByteArray frameTagBytes;
QByteArray hex(const char *text);

#endif
