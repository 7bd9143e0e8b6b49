# Shared by the MinGW-w64 GCC toolchain files; the including file names the
# processor and GLIDORA_MINGW_TRIPLE.
# The posix thread model is named because GoogleTest needs std::mutex, which
# the win32 model lacks; with -static the programs still import no runtime DLL.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${GLIDORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GLIDORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${GLIDORA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${GLIDORA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Release programs carry no symbols: the CRT objects bring debug sections
# several times the size of the game's own code.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
