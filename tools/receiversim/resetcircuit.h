#ifndef RESETCIRCUIT_H
#define RESETCIRCUIT_H

// The two transistors by which a board's USB serial bridge resets an ESP32:
// RTS set with DTR clear holds EN low, the chip in reset; DTR set with RTS
// clear holds IO0 low. The chip starts as EN rises, a moment late (EN's
// capacitor charging), and samples IO0 then: low starts its ROM loader
// ("download mode"), high its firmware. That moment is what lets esptool's
// classic reset, which passes through both lines set, still reach download
// mode. Times are the monotonic clock's, in nanoseconds.

#include <QVector>
#include <QtGlobal>

class ResetCircuit
{
public:
    enum class Boot { Firmware, DownloadMode };
    static constexpr qint64 enRiseNs = 5000000;

    // The lines as the host set them, in order.
    void setLines(qint64 atNs, bool dtr, bool rts);
    // The starts that happened by this time, oldest first.
    QVector<Boot> startsUntil(qint64 nowNs);
    // When the chip will start, if EN rose and it hasn't yet; else -1.
    qint64 pendingStartNs() const;

private:
    void settle(qint64 nowNs);

    bool inReset = false;
    bool io0Low = false;
    qint64 releasedNs = -1;     // EN rose then and the chip has not started yet
    QVector<Boot> starts;
};

#endif
