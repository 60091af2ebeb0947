#ifndef STARTWAIT_H
#define STARTWAIT_H

#include <QObject>
#include <QTimer>

// The wait for the receiver's file list after the installation opened the
// link. A receiver that was just reset prints its boot text and answers
// nothing until its firmware runs, which after a flash may take many
// seconds; a busy one answers late. Three seconds after the link was opened
// the wait is said. Whenever bytes came that did not finish the listing, and
// from the three seconds on, the listing is asked for again once the line
// has been quiet for a moment, until the limit.
class StartWait : public QObject
{
    Q_OBJECT

public:
    explicit StartWait(QObject *parent = nullptr);

    void start(int limitMs);
    void stop();

signals:
    void threeSecondsPassed();
    void askAgain();
    void limitReached();

private:
    void lineActive();
    void lineQuiet();

    QTimer check;
    QTimer quiet;
    QTimer limit;
    bool checked = false;           // the three seconds have passed
    bool heard = false;             // bytes came since the listing was last asked for
};

#endif
