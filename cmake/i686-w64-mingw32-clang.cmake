# Cross-compiles for 32-bit Windows with clang.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(GLIDORA_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-clang.cmake)
