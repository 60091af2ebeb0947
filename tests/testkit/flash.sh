#!/bin/sh
# The test kit's flashing script: behaves like a release's flash script as far
# as the installer can tell, without a flasher, so that the suites, the bench
# and the soak wait for no flasher's pauses (the demo's runs esptool).
#   flash.sh PORT DISPLAY
# Writes firmware/install.log ending with the flasher's "RTS" line on success,
# and shows its progress as a flasher does, over about two seconds, each
# progress line ending in a carriage return.
# VELTRA_RECEIVER_STORE: the simulated receiver's folder, wiped as a full flash
# wipes the file system, and told to restart (the file .reset). VELTRA_FLASH_FAIL=1: fail without the "RTS" line.
# VELTRA_FLASH_SECONDS: how long the progress takes (default 2).

port="$1"
display="$2"
log=firmware/install.log
seconds=${VELTRA_FLASH_SECONDS:-2}

{
    echo "Flashing VELTRA firmware for display $display on $port"
    echo "Serial port $port"
    echo "Connecting...."
    echo "Chip is ESP32-D0WD-V3 (revision v3.0)"
    echo "Uploading stub..."
    echo "Changing baud rate to 460800"
} > "$log"
cat "$log"

if [ "${VELTRA_FLASH_FAIL:-0}" = 1 ]; then
    echo "A fatal error occurred: Failed to connect to ESP32: No serial data received." | tee -a "$log"
    exit 2
fi

for percent in 0 10 20 30 40 50 60 70 80 90 100; do
    printf 'Writing at 0x%08x... (%d %%)\r' $((0x10000 + percent * 0x1000)) "$percent"
    [ "$seconds" = 0 ] || sleep "$(echo "$seconds" | awk '{ print $1 / 10 }')"
done
printf '\n'
echo "Wrote 1048576 bytes (655360 compressed) at 0x00010000 in 2.0 seconds" | tee -a "$log"
if [ -n "$VELTRA_RECEIVER_STORE" ] && [ -d "$VELTRA_RECEIVER_STORE" ]; then
    find "$VELTRA_RECEIVER_STORE" -mindepth 1 -maxdepth 1 -type f -delete
    echo "Erased the file system" | tee -a "$log"
fi
echo "Hash of data verified." | tee -a "$log"
echo "Leaving..." | tee -a "$log"
echo "Hard resetting via RTS pin..." | tee -a "$log"
# The simulated receiver restarts, as the flasher's reset makes a real one;
# the moment after it lets a board that leaves the PC as it restarts be gone.
if [ -n "$VELTRA_RECEIVER_STORE" ] && [ -d "$VELTRA_RECEIVER_STORE" ]; then
    : > "$VELTRA_RECEIVER_STORE/.reset"
    sleep 0.2
fi
