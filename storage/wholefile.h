#ifndef WHOLEFILE_H
#define WHOLEFILE_H

#include <QByteArray>
#include <QString>

// Writes exactly these bytes into a file; on any failure no partial file is
// left behind. What is on disk is read back: on a full disk a commit can
// report success over a file its buffered bytes never reached.
bool saveWhole(const QString &path, const QByteArray &content);

#endif
