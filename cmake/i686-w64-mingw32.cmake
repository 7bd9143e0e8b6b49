# Cross-compiles for 32-bit Windows with Debian's MinGW-w64: the shipped game.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(GLIDORA_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
