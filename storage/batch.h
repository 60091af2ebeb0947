#ifndef BATCH_H
#define BATCH_H

#include <QString>
#include <QStringList>

// The receiver's data files, in the order a restore sends them.
QStringList dataFileNames();

// The file Upload all sends after current: the four data files, then the
// language file of languageCode; empty when the batch is over.
QString nextUploadName(const QString &current, const QString &languageCode);

#endif
