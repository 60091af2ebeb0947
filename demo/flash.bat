@echo off
rem Demo flashing script: behaves like a release's flash script as far as the
rem installer can tell, without flashing anything. A real release ships its own.
rem   flash.bat PORT DISPLAY
rem Writes firmware\install.log ending with the flasher's "RTS" line on success,
rem and shows its progress as a flasher does, over a few seconds: each step
rem waits for ping, a program the script starts, as a flasher is one.
rem VELTRA_RECEIVER_STORE: the simulated receiver's folder, wiped as a full flash
rem wipes the file system, and told to restart (the file .reset).
rem VELTRA_FLASH_FAIL=1: fail without the "RTS" line.

set log=firmware\install.log
echo Flashing VELTRA firmware for display %2 on %1> %log%
echo Serial port %1>> %log%
echo Connecting....>> %log%
echo Chip is ESP32-D0WD-V3 (revision v3.0)>> %log%
type %log%
if "%VELTRA_FLASH_FAIL%"=="1" (
    echo A fatal error occurred: Failed to connect to ESP32: No serial data received.>> %log%
    exit /b 2
)
for %%p in (0 25 50 75 100) do (
    echo Writing at 0x00010000... ^(%%p %%^)
    ping -n 2 127.0.0.1 >nul
)
echo Writing at 0x00010000... (100 %%)>> %log%
if defined VELTRA_RECEIVER_STORE if exist "%VELTRA_RECEIVER_STORE%\" del /Q "%VELTRA_RECEIVER_STORE%\*"
echo Hash of data verified.>> %log%
echo Leaving...>> %log%
echo Hard resetting via RTS pin...>> %log%
echo Hard resetting via RTS pin...
rem The simulated receiver restarts, as the flasher's reset makes a real one;
rem the moment after it lets a board that leaves the PC as it restarts be gone.
if defined VELTRA_RECEIVER_STORE if exist "%VELTRA_RECEIVER_STORE%\" (
    type nul > "%VELTRA_RECEIVER_STORE%\.reset"
    ping -n 2 127.0.0.1 >nul
)
