# 32-bit Windows, which 32-bit and 64-bit Windows both run: see mingw-w64.cmake.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VELTRA_MINGW_TARGET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
