#ifndef LINEPACER_H
#define LINEPACER_H

// One direction of a serial line: bytes pushed in come out when a line of
// the given speed would have carried them, in slices, never earlier. The
// wait before a slice is timed to within microseconds (a timer, then a
// short spin), so that the line itself, not the timer's resolution, sets
// the pace.

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>

class LinePacer : public QObject
{
    Q_OBJECT

public:
    LinePacer(double bytesPerSecond, QObject *parent = nullptr);
    void push(const QByteArray &bytes);

signals:
    void delivered(const QByteArray &bytes);

private:
    struct Slice
    {
        qint64 dueNs;
        QByteArray bytes;
    };
    void deliverDue();

    const double nsPerByte;
    QElapsedTimer clock;
    qint64 lineFreeNs = 0;      // when the line has carried everything pushed so far
    std::deque<Slice> slices;
    QTimer timer;
};

#endif
