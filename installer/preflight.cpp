#include "installer/preflight.h"
#include "installer/shippedscript.h"
#include "storage/filenames.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace {
const QString unpackWhole = "unpack the whole release into one folder";
}

QString preflightProblem(const QString &languageCode)
{
    const QString script = shippedScriptFile("flash");
    if (!QFileInfo(script).isFile())
        return script + " is missing beside the program: " + unpackWhole;
    if (!QFileInfo("firmware").isDir())
        return "the folder firmware is missing beside the program: " + unpackWhole;
    const QString language = batchUploadSource(languageCode.toLower() + ".lng");
    if (!QFileInfo(language).isFile())
        return language + " is missing: " + unpackWhole + ", or choose another language";
    // Tried with a file of a fresh name, which goes again at once.
    QTemporaryFile room(QDir::current().filePath("veltra-XXXXXX"));
    if (!room.open())
        return "the folder " + QDir::toNativeSeparators(QDir::currentPath()) + " can't hold a backup (" + room.errorString()
             + "): move the program into a folder you can write to, such as one in your Documents";
    return QString();
}
