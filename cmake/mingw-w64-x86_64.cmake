# 64-bit Windows, for Windows x64: see mingw-w64.cmake.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELTRA_MINGW_TARGET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
