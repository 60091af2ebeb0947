#ifndef OPTIONS_H
#define OPTIONS_H

#include <QString>

// The receiver model that uses a display controller; sets *known to false
// for a text that names no controller.
QString receiverModel(const QString &controller, bool *known);

// "firmware/changelog/changelog" + code + ".txt"
QString changelogPath(const QString &languageCode);

#endif
