#!/bin/sh
# Demo flashing script: writes a made-up firmware into the simulated
# receiver with the real esptool, as a release's script writes the real one.
#   flash.sh PORT DISPLAY
# esptool's output goes to this script's output, progress line and all, and
# into firmware/install.log, which ends with esptool's "Hard resetting via
# RTS pin..." once the firmware is written.
#
# The images, which scripts/demo makes: firmware/veltra.bin at 0x10000 and an
# erased file system, firmware/filesystem.bin, at 0x290000, the receiver's
# layout (tools/receiversim/receiversimulator.h). Writing the file system
# wipes the receiver's files, as a full flash does.
#
# esptool talks to the ESP32's ROM loader itself (--no-stub): Debian's esptool
# comes without its stub. The flash size is given, so none is probed for.
#
# Environment, set by scripts/demo:
#   PYTHONPATH                   the folder holding esptool (scripts/esptool)
#   VELTRA_MODEM_LINES_PRELOAD   the library answering the modem-line requests
#                                that a pseudo-terminal lacks, preloaded into
#                                esptool alone (tools/modemlines.c)
#   VELTRA_MODEM_LINES           the file it writes esptool's DTR and RTS
#                                settings into, which receiver-sim follows

port="$1"
display="$2"
log=firmware/install.log

echo "Flashing VELTRA firmware for display $display on $port" | tee "$log"

esptool="LD_PRELOAD='$VELTRA_MODEM_LINES_PRELOAD' /usr/bin/python3 -m esptool \
    --chip esp32 --port '$port' --baud 460800 --no-stub \
    write_flash --compress --flash_size 4MB 0x10000 firmware/veltra.bin 0x290000 firmware/filesystem.bin"

# esptool redraws its progress line with carriage returns only on a terminal:
# script gives it one, as a person's console would. Its exit status comes
# back past tee through the descriptor 4.
exec 3>&1
status=$({ { script -qefc "$esptool" /dev/null 3>&- 4>&-; echo $? >&4; } | tee -a "$log" >&3; } 4>&1)
exit "$status"
