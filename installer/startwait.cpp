#include "installer/startwait.h"
#include "app/session.h"

namespace {
constexpr int checkAfterMs = 3000;
// Longer than a busy receiver's late answer takes once it is under way, so
// that a request asked again is not answered twice.
constexpr int quietBeforeAskingMs = 1000;
}

StartWait::StartWait(QObject *parent)
    : QObject(parent)
{
    for (QTimer *timer : { &check, &quiet, &limit })
        timer->setSingleShot(true);
    connect(&check, &QTimer::timeout, this, [this] {
        checked = true;
        quiet.start(quietBeforeAskingMs);
        emit threeSecondsPassed();
    });
    connect(&quiet, &QTimer::timeout, this, &StartWait::lineQuiet);
    connect(&limit, &QTimer::timeout, this, [this] {
        stop();
        emit limitReached();
    });
    connect(&serial, &QSerialPort::readyRead, this, &StartWait::lineActive);
}

void StartWait::start(int limitMs)
{
    checked = heard = false;
    check.start(checkAfterMs);
    quiet.start(quietBeforeAskingMs);
    limit.start(limitMs);
}

void StartWait::stop()
{
    check.stop();
    quiet.stop();
    limit.stop();
}

void StartWait::lineActive()
{
    if (!limit.isActive())
        return;
    heard = true;
    quiet.start(quietBeforeAskingMs);
}

void StartWait::lineQuiet()
{
    if (checked || heard) {
        heard = false;
        emit askAgain();
    }
    quiet.start(quietBeforeAskingMs);
}
