#!/bin/sh
# Demo driver script. A release ships the installer of the USB-to-UART bridge
# driver here; on Linux the kernel already has it (cp210x), so this only says so.
echo "The CP210x USB-to-UART driver is part of the Linux kernel: nothing to install."
