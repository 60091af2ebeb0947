#ifndef FLASH_H
#define FLASH_H

#include <QString>

// The log the flashing script leaves: "RTS" in a line of it means the
// firmware was written.
extern const QString installLogPath;

// Removes the log an earlier run left, which would count as this run's
// success; false when one stays.
bool removeStaleInstallLog();

// True when the flashing script's log has a line holding "RTS", the
// flasher's reset once the firmware is written, and none saying that the
// flasher failed: esptool names RTS in some of its failures too (its warning
// that the modem lines can't be set).
bool firmwareLogSucceeded(const QString &logPath);

#endif
