@echo off
rem Demo driver script. A release ships the installer of the CP210x
rem USB-to-UART bridge driver and starts it from here.
echo This would start the CP210x USB-to-UART bridge driver installer.
