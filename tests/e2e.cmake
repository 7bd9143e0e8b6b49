# End-to-end tests: the built glidora.exe runs under Wine on the test
# command's X display (DISPLAY; scripts/test.sh starts a private one). The
# tests drive it with real X input and read the screen back through libxdo
# and Xlib in their own process; the native engine predicts what must be seen.
include(GoogleTest)
if(NOT GLIDORA_GAME_EXE)
    message(FATAL_ERROR "GLIDORA_E2E needs GLIDORA_GAME_EXE, the glidora.exe to drive")
endif()

find_program(GLIDORA_E2E_WINESERVER wineserver)
find_package(X11)
find_path(GLIDORA_XDO_INCLUDE_DIR xdo.h)
find_library(GLIDORA_XDO_LIBRARY xdo)
if(NOT GLIDORA_E2E_WINESERVER OR NOT X11_FOUND OR NOT GLIDORA_XDO_INCLUDE_DIR
   OR NOT GLIDORA_XDO_LIBRARY)
    message(FATAL_ERROR "The end-to-end tests need wineserver, Xlib and libxdo (libxdo-dev); "
                        "scripts/setup.sh installs them")
endif()

# A small Windows console program that reads the texts of the game's message
# boxes and dialogs from inside Wine; the native build cross-compiles it for
# the game's own kind, so that one Wine runs both.
if(GLIDORA_E2E_WINE_ARCH STREQUAL "win64")
    set(e2e_triple x86_64-w64-mingw32)
elseif(GLIDORA_E2E_WINE_ARCH STREQUAL "win32")
    set(e2e_triple i686-w64-mingw32)
else()
    message(FATAL_ERROR "GLIDORA_E2E_WINE_ARCH is win32 or win64, not ${GLIDORA_E2E_WINE_ARCH}")
endif()
find_program(GLIDORA_E2E_MINGW_CXX NAMES ${e2e_triple}-g++-posix NO_CACHE)
if(NOT GLIDORA_E2E_MINGW_CXX)
    message(FATAL_ERROR "The end-to-end tests need ${e2e_triple}-g++-posix")
endif()
set(e2e_probe ${PROJECT_BINARY_DIR}/e2e_window_texts.exe)
add_custom_command(
    OUTPUT ${e2e_probe}
    COMMAND ${GLIDORA_E2E_MINGW_CXX} -std=c++20 -O2 -static -Wall -Wextra -Wpedantic -Wshadow
            -Werror ${CMAKE_CURRENT_LIST_DIR}/e2e_window_texts.cpp -o ${e2e_probe}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/e2e_window_texts.cpp
    COMMENT "Cross-compiling the window text probe"
    VERBATIM)
add_custom_target(e2e_window_texts ALL DEPENDS ${e2e_probe})

if(GLIDORA_E2E_WINE_ARCH STREQUAL "win64")
    set(e2e_test_preset e2e64)
else()
    set(e2e_test_preset e2e)
endif()
add_library(e2e_harness OBJECT ${CMAKE_CURRENT_LIST_DIR}/e2e_harness.cpp
                               ${CMAKE_CURRENT_LIST_DIR}/image.cpp)
target_include_directories(e2e_harness PRIVATE ${GLIDORA_XDO_INCLUDE_DIR})
target_link_libraries(e2e_harness PUBLIC engine_test_support GTest::gtest ${GLIDORA_XDO_LIBRARY}
                                         X11::X11)
target_compile_definitions(
    e2e_harness
    PRIVATE GLIDORA_E2E_GAME_EXE="${GLIDORA_GAME_EXE}"
            GLIDORA_E2E_RES_DIR="${PROJECT_SOURCE_DIR}/res"
            GLIDORA_E2E_SCRIPTS_DIR="${PROJECT_SOURCE_DIR}/scripts"
            GLIDORA_E2E_BUILD_DIR="${PROJECT_BINARY_DIR}"
            GLIDORA_E2E_WINE_ARCH="${GLIDORA_E2E_WINE_ARCH}"
            GLIDORA_E2E_TEST_PRESET="${e2e_test_preset}"
            GLIDORA_E2E_PROBE_EXE="${e2e_probe}")
glidora_warnings(e2e_harness)

# One prefix serves the whole suite, prepared once: unmanaged windows, so that
# Wine draws every frame itself, maximises and closes without a window
# manager, and each top-level window is an X window named by its caption. Its
# server is ended after the last test; nothing left to end is no failure.
# A run killed outright may have left a server behind, whose desktop process
# still belongs to a display that is gone: it is ended first.
include(${CMAKE_CURRENT_LIST_DIR}/wine_prefix.cmake)
function(glidora_e2e_prefix prefix)
    set(GLIDORA_WINE_RUN ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh --buffer-output --arch
                         ${GLIDORA_E2E_WINE_ARCH})
    glidora_prefix_settings(e2e_wine_prefix e2e_unmanaged_windows ${prefix}
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n\"Managed\"=\"N\"\n")
    foreach(step e2e_wine_prefix_leftovers_end e2e_wine_prefix_end)
        add_test(NAME ${step} COMMAND sh -c "wineserver -k || true")
    endforeach()
    set_tests_properties(e2e_unmanaged_windows PROPERTIES DEPENDS e2e_wine_prefix_leftovers_end)
    set_tests_properties(e2e_wine_prefix_leftovers_end PROPERTIES
        FIXTURES_SETUP e2e_wine_prefix ENVIRONMENT WINEPREFIX=${prefix})
    set_tests_properties(e2e_wine_prefix_end PROPERTIES
        FIXTURES_CLEANUP e2e_wine_prefix ENVIRONMENT WINEPREFIX=${prefix})
endfunction()
glidora_e2e_prefix(${PROJECT_BINARY_DIR}/wineprefix)

# The tests share the one prefix and display, so they run one at a time.
foreach(suite e2e_game_test e2e_session_test)
    add_executable(${suite} ${CMAKE_CURRENT_LIST_DIR}/${suite}.cpp)
    target_link_libraries(${suite} PRIVATE e2e_harness engine_test_support GTest::gtest_main)
    add_dependencies(${suite} e2e_window_texts)
    glidora_warnings(${suite})
    gtest_discover_tests(${suite} DISCOVERY_TIMEOUT 30
                         PROPERTIES RESOURCE_LOCK glidora_e2e_wineprefix TIMEOUT 400
                                    FIXTURES_REQUIRED e2e_wine_prefix)
endforeach()
