# Toolchain of the Linux stand-in for a Visual Studio build (see
# windows_standin_check.sh): clang-cl in MSVC mode for 32-bit Windows, lld-link,
# llvm-rc, llvm-lib and llvm-mt, configured as on a Windows host. MinGW-w64's
# headers and GCC's libstdc++ stand in for the Windows SDK and Microsoft's
# standard library, found through INCLUDE as in a developer prompt; they take
# their GCC paths, hence the GCC version and the forced prelude, the stand-in's
# only foreign flags. Nothing links: there are no Microsoft runtime libraries.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR X86)
# The project sees what it would on Windows: a native build on a Windows host.
set(CMAKE_CROSSCOMPILING FALSE)
set(CMAKE_HOST_UNIX "")
set(CMAKE_HOST_LINUX "")
set(CMAKE_HOST_WIN32 1)

set(CMAKE_C_COMPILER clang-cl)
set(CMAKE_CXX_COMPILER clang-cl)
set(CMAKE_C_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_LINKER lld-link)
set(CMAKE_RC_COMPILER llvm-rc)
set(CMAKE_AR llvm-lib)
set(CMAKE_MT llvm-mt)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_C_FLAGS_INIT
    "/clang:-fgnuc-version=12 /FI${CMAKE_CURRENT_LIST_DIR}/windows_standin_msvc_prelude.h")
set(CMAKE_CXX_FLAGS_INIT ${CMAKE_C_FLAGS_INIT})
# The Windows SDK has no pthreads, MinGW-w64 has: GoogleTest must do without,
# as it does with Visual Studio.
set(gtest_disable_pthreads ON CACHE BOOL "")
