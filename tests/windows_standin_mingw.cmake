# Toolchain of the Linux stand-in for an MSYS2 MinGW build (see
# windows_standin_check.sh): Debian's MinGW-w64 GCC for 32-bit Windows,
# configured as on a Windows host. Programs, libraries and packages are looked
# for under the MinGW-w64 root only, as in an MSYS2 shell without FreeType or
# clang-format.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
# The project sees what it would in MSYS2: a native build on a Windows host.
set(CMAKE_CROSSCOMPILING FALSE)
set(CMAKE_HOST_UNIX "")
set(CMAKE_HOST_LINUX "")
# CMAKE_HOST_WIN32 stays unset: from CMake 3.31 on, the MinGW platform module
# then asks the host for MSYS2's prefix, which only a Windows CMake can answer.
# The project tells hosts apart by CMAKE_HOST_UNIX alone.

find_program(GLIDORA_STANDIN_CC i686-w64-mingw32-gcc-posix REQUIRED NO_CACHE)
find_program(GLIDORA_STANDIN_CXX i686-w64-mingw32-g++-posix REQUIRED NO_CACHE)
find_program(GLIDORA_STANDIN_RC i686-w64-mingw32-windres REQUIRED NO_CACHE)
set(CMAKE_C_COMPILER ${GLIDORA_STANDIN_CC})
set(CMAKE_CXX_COMPILER ${GLIDORA_STANDIN_CXX})
set(CMAKE_RC_COMPILER ${GLIDORA_STANDIN_RC})

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
