# Cross-compiles for 32-bit Windows with clang, as a second compiler that must
# accept the sources warning-free. It uses MinGW-w64's headers, libraries and
# linker, and GCC's libstdc++ of the posix thread model, which clang does not
# find by itself in Debian's versioned directory names.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(GLIDORA_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${GLIDORA_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${GLIDORA_MINGW_TRIPLE})
set(CMAKE_RC_COMPILER ${GLIDORA_MINGW_TRIPLE}-windres)

file(GLOB GLIDORA_MINGW_GCC_DIRS /usr/lib/gcc/${GLIDORA_MINGW_TRIPLE}/*-posix)
list(GET GLIDORA_MINGW_GCC_DIRS 0 GLIDORA_MINGW_GCC_DIR)
set(GLIDORA_LIBSTDCXX ${GLIDORA_MINGW_GCC_DIR}/include/c++)
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${GLIDORA_LIBSTDCXX} -isystem ${GLIDORA_LIBSTDCXX}/${GLIDORA_MINGW_TRIPLE} -isystem ${GLIDORA_LIBSTDCXX}/backward")
# -pthread links winpthreads, which the posix libstdc++ relies on.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -pthread -L${GLIDORA_MINGW_GCC_DIR}")

set(CMAKE_FIND_ROOT_PATH /usr/${GLIDORA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Release programs carry no symbols: the CRT objects bring debug sections
# several times the size of the game's own code.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
