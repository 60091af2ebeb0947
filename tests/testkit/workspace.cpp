#include "workspace.h"

#include "installer/shippedscript.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

Workspace::Workspace()
    : previous(QDir::currentPath())
{
    QDir::setCurrent(dir.path());
}

Workspace::~Workspace()
{
    QDir::setCurrent(previous);
}

QString Workspace::path() const { return dir.path(); }

void Workspace::writeFile(const QString &relativePath, const QByteArray &content)
{
    const QString full = dir.filePath(relativePath);
    QDir().mkpath(QFileInfo(full).path());
    QFile out(full);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size())
        qFatal("can't write %s", qPrintable(full));
}

QByteArray Workspace::readFile(const QString &relativePath) const
{
    QFile in(dir.filePath(relativePath));
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

namespace {
void copyTree(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    const QDir source(from);
    for (const QFileInfo &entry : source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = QDir(to).filePath(entry.fileName());
        if (entry.isDir())
            copyTree(entry.filePath(), target);
        else
            QFile::copy(entry.filePath(), target);
    }
}
}

void Workspace::installDemoRelease()
{
    copyTree(QStringLiteral(VELTRA_DEMO_DIR "/firmware"), dir.filePath("firmware"));
    const QString flash = shippedScriptFile("flash");
#ifdef Q_OS_WIN
    // The test kit's own stand-in is a shell script; Windows tests never flash.
    const QString flashFolder = QStringLiteral(VELTRA_DEMO_DIR);
#else
    const QString flashFolder = QStringLiteral(VELTRA_TESTKIT_DIR);
#endif
    QFile::copy(flashFolder + "/" + flash, dir.filePath(flash));
    const QString driver = shippedScriptFile("driver");
    QFile::copy(QStringLiteral(VELTRA_DEMO_DIR "/") + driver, dir.filePath(driver));
}

void Workspace::writeFlashScript(const QStringList &logLines, bool writeLog)
{
    QByteArray script = "#!/bin/sh\necho \"$1 $2\" > flash-args\n";
    if (writeLog) {
        script += "mkdir -p firmware\n: > firmware/install.log\n";
        for (const QString &line : logLines)
            script += "echo '" + line.toUtf8() + "' >> firmware/install.log\n";
    }
    writeFile("flash.sh", script);
}

QStringList eightDigitFolders()
{
    return QDir().entryList(QDir::Dirs | QDir::NoDotAndDotDot).filter(QRegularExpression("^[0-9]{8}$"));
}

QStringList savedFiles(const QString &folder)
{
    QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    files.removeAll("restore-pending.json");
    return files;
}

const QByteArray frameTagBytes = "K-Marigold______";

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

