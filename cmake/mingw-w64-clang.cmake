# Shared by the clang toolchain files, which name the processor and
# GLIDORA_MINGW_TRIPLE. Clang is a second compiler that must accept the
# sources warning-free. It uses MinGW-w64's headers, libraries and linker, and
# GCC's libstdc++ of the posix thread model, which clang does not find by
# itself in Debian's versioned directory names.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${GLIDORA_MINGW_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${GLIDORA_MINGW_TRIPLE})

file(GLOB GLIDORA_MINGW_GCC_DIRS /usr/lib/gcc/${GLIDORA_MINGW_TRIPLE}/*-posix)
list(GET GLIDORA_MINGW_GCC_DIRS 0 GLIDORA_MINGW_GCC_DIR)
set(GLIDORA_LIBSTDCXX ${GLIDORA_MINGW_GCC_DIR}/include/c++)
set(CMAKE_CXX_FLAGS_INIT
    "-isystem ${GLIDORA_LIBSTDCXX} -isystem ${GLIDORA_LIBSTDCXX}/${GLIDORA_MINGW_TRIPLE} -isystem ${GLIDORA_LIBSTDCXX}/backward")
# -pthread links winpthreads, which the posix libstdc++ relies on.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -pthread -L${GLIDORA_MINGW_GCC_DIR}")
