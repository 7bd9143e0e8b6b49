# End-to-end tests: the built glidora.exe runs under Wine in a private Xvfb
# display that each test starts and stops itself, so no DISPLAY is needed.
# They drive it with real X input (xdotool) and read the screen back
# (ImageMagick's import); the native engine predicts what must be seen.
if(NOT GLIDORA_GAME_EXE)
    message(FATAL_ERROR "GLIDORA_E2E needs GLIDORA_GAME_EXE, the glidora.exe to drive")
endif()

foreach(tool Xvfb xdotool import wineserver)
    find_program(GLIDORA_E2E_${tool} ${tool})
    if(NOT GLIDORA_E2E_${tool})
        message(FATAL_ERROR "The end-to-end tests need ${tool}; scripts/setup.sh installs it")
    endif()
endforeach()

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

add_library(e2e_harness OBJECT ${CMAKE_CURRENT_LIST_DIR}/e2e_harness.cpp)
target_link_libraries(e2e_harness PUBLIC engine_test_support GTest::gtest)
target_compile_definitions(
    e2e_harness
    PRIVATE GLIDORA_E2E_GAME_EXE="${GLIDORA_GAME_EXE}"
            GLIDORA_E2E_RES_DIR="${PROJECT_SOURCE_DIR}/res"
            GLIDORA_E2E_SCRIPTS_DIR="${PROJECT_SOURCE_DIR}/scripts"
            GLIDORA_E2E_BUILD_DIR="${PROJECT_BINARY_DIR}"
            GLIDORA_E2E_WINE_ARCH="${GLIDORA_E2E_WINE_ARCH}"
            GLIDORA_E2E_PROBE_EXE="${e2e_probe}")
glidora_warnings(e2e_harness)

# All tests share one Wine prefix, whose server serves one display at a time.
foreach(suite e2e_game_test e2e_session_test)
    add_executable(${suite} ${CMAKE_CURRENT_LIST_DIR}/${suite}.cpp)
    target_link_libraries(${suite} PRIVATE e2e_harness engine_test_support GTest::gtest_main)
    add_dependencies(${suite} e2e_window_texts)
    glidora_warnings(${suite})
    gtest_discover_tests(${suite} DISCOVERY_TIMEOUT 30
                         PROPERTIES RESOURCE_LOCK glidora_e2e_wineprefix TIMEOUT 400)
endforeach()
