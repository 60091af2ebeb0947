# Cross-builds for 64-bit Windows with Debian's MinGW-w64 compiler (posix
# threads) and a Qt built for it: -DVELTRA_WINDOWS_QT=<the unpacked Qt>.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${VELTRA_WINDOWS_QT})
set(CMAKE_PREFIX_PATH ${VELTRA_WINDOWS_QT})
# Programs from the host (moc, rcc, uic come from the Qt folder by path);
# libraries, headers and packages only from the roots.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
