#ifndef TIMINGS_H
#define TIMINGS_H

#include <QtGlobal>

// Every limit the installation waits for, in milliseconds. The program uses
// these values; tests give the installation a short set, so that none of
// them waits out a real limit.
struct InstallTimings
{
    int checkAfterMs = 3000;                // the wait for the receiver's list is said
    // A receiver busy opening a file or walking its file system answers up
    // to three seconds late: a listing is asked for again only after the
    // line has been quiet this long, so that a request asked again is never
    // answered by the earlier one's late answer.
    int lateAnswerMs = 3500;
    // A restarted receiver never answers what it was asked before: once its
    // boot text has ended, it is asked again this soon.
    int quietAfterBootTextMs = 100;
    // How long the receiver's file list may take to come after the link
    // opened: a receiver in use answers at once; one that was just flashed
    // may first format its file system.
    int listingLimitBeforeFlashMs = 10000;
    int listingLimitAfterFlashMs = 60000;
    // A board with a USB port of its own leaves the PC while it restarts.
    int reopenEveryMs = 1000;
    int reopenLimitMs = 30000;
    int portWaitSaidMs = 3000;
    // Every exchange may take this long, a late first answer included, and
    // three times its bytes' time on a 115200-baud line, before the
    // receiver counts as not answering.
    int exchangeBaseMs = 4000;

    int exchangeLimitMs(qint64 wireBytes, int exchanges = 1) const
    {
        constexpr qint64 bytesPerSecond = 11520;    // 115200 baud, 10 bits a byte
        return exchanges * exchangeBaseMs + int(3 * wireBytes * 1000 / bytesPerSecond) + 1;
    }
};

#endif
