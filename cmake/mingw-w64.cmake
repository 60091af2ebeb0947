# Cross-builds for Windows with Debian's MinGW-w64 compiler (posix threads)
# and a Qt built for it: -DVELTRA_WINDOWS_QT=<the unpacked Qt>. Included by
# the toolchain file of each target, which names it in VELTRA_MINGW_TARGET.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VELTRA_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELTRA_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${VELTRA_MINGW_TARGET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELTRA_MINGW_TARGET} ${VELTRA_WINDOWS_QT})
set(CMAKE_PREFIX_PATH ${VELTRA_WINDOWS_QT})
# Programs from the host (moc, rcc, uic come from the Qt folder by path);
# libraries, headers and packages only from the roots.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
