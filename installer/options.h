#ifndef OPTIONS_H
#define OPTIONS_H

#include <QString>
#include <QStringList>

// The receiver model that uses a display controller; sets *known to false
// for a text that names no controller.
QString receiverModel(const QString &controller, bool *known);

// The firmware's languages as the language list names them, index for index
// with the codes of lang.
const QStringList &languageNames();
// The name of a language by its code ("RUS"); empty for a code of none.
QString languageName(const QString &code);

// "firmware/changelog/changelog" + code + ".txt"
QString changelogPath(const QString &languageCode);

#endif
