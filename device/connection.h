#ifndef CONNECTION_H
#define CONNECTION_H

#include <QByteArray>
#include <QString>

// Writes a whole frame to the receiver's port and hands it to the driver at
// once, instead of on the event loop's next pass: one exchange after
// another, that pass would otherwise add to every one of them.
void sendRequest(const QByteArray &frame);

// Starts an exchange: `mode` becomes the request's name (a Mode value), the
// receive buffer is emptied so that the reply starts at its first byte, and
// the request is written with the given arguments.
void startRequest(const QString &name, const QByteArray &arguments = QByteArray());

#endif
