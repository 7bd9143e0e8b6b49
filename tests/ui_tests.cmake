# The front end's test programs. Each drives the real window procedure, the
# dialogs and the painting, under Wine in an X display on Linux or on the
# desktop of a Windows host; one program per theme, so that a crash in one
# does not hide the results of the others.

# The game's resources for the test programs themselves: appInstance is the
# test program, so menu, dialogs and pictures are loaded from it. A library of
# its own, because the warning flags of the C++ sources mean nothing to windres.
add_library(ui_test_resources OBJECT ${PROJECT_SOURCE_DIR}/res/glidora.rc)
add_library(ui_test_resources_no_pictures OBJECT ${PROJECT_SOURCE_DIR}/res/glidora.rc)
target_compile_definitions(ui_test_resources_no_pictures PRIVATE GLIDORA_NO_PICTURES)
set_source_files_properties(${PROJECT_SOURCE_DIR}/res/glidora.rc PROPERTIES
                            OBJECT_DEPENDS "${GLIDORA_RC_INPUTS}")

add_library(ui_test_harness OBJECT ui_harness.cpp ui_pictures.cpp image.cpp board_invariants.cpp)
target_link_libraries(ui_test_harness PUBLIC ui_core GTest::gtest)
glidora_warnings(ui_test_harness)
# Every test program starts with these two, half of its compile time: parsed
# once per build tree (with GCC and clang, where it is measured).
if(NOT MSVC)
    target_precompile_headers(ui_test_harness PRIVATE <windows.h> <gtest/gtest.h>)
endif()

set(GLIDORA_WINDOW_TESTS ui_window_test ui_dialogs_test ui_pixels_test ui_nopictures_test
                         ui_robustness_test)

# Wine waits up to two seconds for a window manager to withdraw every managed
# window it hides, and the tests' X display has none: each closed box would
# cost that long. The test programs (not the game) get unmanaged windows.
# The frame they are drawn with is chosen here too, not left to the Wine
# version: Wine 8's default is the classic frame, Wine 10's a taller one.
# Metrics are in twips (-15 a pixel): caption and menu, padded border.
function(glidora_frame_settings out caption menu padded_border)
    set(settings "\n[HKEY_CURRENT_USER\\Control Panel\\Desktop\\WindowMetrics]\n")
    foreach(metric CaptionHeight:${caption} CaptionWidth:${caption} MenuHeight:${menu}
                   MenuWidth:${menu} PaddedBorderWidth:${padded_border} BorderWidth:-15)
        string(REPLACE ":" "\"=\"" entry ${metric})
        string(APPEND settings "\"${entry}\"\n")
    endforeach()
    set(${out} "${settings}" PARENT_SCOPE)
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/wine_prefix.cmake)

if(GLIDORA_WINE_RUN)
    set(unmanaged_settings "REGEDIT4\n")
    foreach(program IN LISTS GLIDORA_WINDOW_TESTS)
        string(APPEND unmanaged_settings
               "\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\${program}.exe\\X11 Driver]\n"
               "\"Managed\"=\"N\"\n")
    endforeach()
    glidora_frame_settings(classic_frame -270 -270 0)
    glidora_prefix_settings(ui_wine_settings ui_unmanaged_windows ${PROJECT_BINARY_DIR}/wineprefix
                            "${unmanaged_settings}${classic_frame}")

    # A prefix whose graphics driver is Wine's null driver: windows, boxes,
    # paints and the pixels read back from a window are all real, but nothing
    # is drawn to an X window. A test reads pixels from the window itself, never
    # from X, so a program that needs no screen of its own loses nothing here
    # but the time X takes.
    set(GLIDORA_OFFSCREEN_PREFIX ${PROJECT_BINARY_DIR}/wineprefix-offscreen)
    set(null_driver "\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n\"Graphics\"=\"null\"\n")
    set(GLIDORA_OFFSCREEN_SETTINGS "REGEDIT4\n${classic_frame}${null_driver}")
    glidora_prefix_settings(ui_offscreen ui_offscreen_settings ${GLIDORA_OFFSCREEN_PREFIX}
                            "${GLIDORA_OFFSCREEN_SETTINGS}")
endif()

# Programs that open windows share one desktop (Wine's, in one X display, or
# Windows' own): they run one at a time, so that no window of one covers a
# window of another; OFFSCREEN runs one under Wine in the off-screen prefix
# instead, away from that desktop. SHARDS splits a program whose cases
# together outlast the time limit under Wine into that many tests, each
# running its share of the cases; natively every case is a test of its own.
function(glidora_register_ui_test target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "OFFSCREEN" "SHARDS" "")
    glidora_warnings(${target})
    if(NOT MSVC)
        target_precompile_headers(${target} REUSE_FROM ui_test_harness)
    endif()
    set(properties TIMEOUT 120)
    set(command ${target})
    if(arg_OFFSCREEN AND GLIDORA_WINE_RUN)
        set(command ${GLIDORA_WINE_RUN} ${GLIDORA_OFFSCREEN_PREFIX} $<TARGET_FILE:${target}>)
        list(APPEND properties FIXTURES_REQUIRED ui_offscreen)
    elseif(target IN_LIST GLIDORA_WINDOW_TESTS)
        list(APPEND properties RESOURCE_LOCK glidora_desktop)
        if(GLIDORA_WINE_RUN)
            list(APPEND properties FIXTURES_REQUIRED ui_wine_settings)
        endif()
    endif()
    if(NOT GLIDORA_WINE_RUN)
        glidora_add_gtest(${target} ${properties})
    elseif(arg_SHARDS GREATER 1)
        math(EXPR last "${arg_SHARDS} - 1")
        foreach(index RANGE ${last})
            # Shards run beside each other and the other tests, before them, as
            # they are the longest. Off screen, each has a prefix of its own:
            # programs in one prefix share GDI caches, so one program's work
            # could show in another's count of GDI objects.
            set(shard_command ${command})
            set(shard_properties ${properties})
            if(arg_OFFSCREEN AND GLIDORA_WINE_RUN AND index GREATER 0)
                set(prefix ${GLIDORA_OFFSCREEN_PREFIX}-${index})
                glidora_prefix_settings(ui_offscreen_${index} ui_offscreen_${index}_settings
                                        ${prefix} "${GLIDORA_OFFSCREEN_SETTINGS}")
                set(shard_command ${GLIDORA_WINE_RUN} ${prefix} $<TARGET_FILE:${target}>)
                list(TRANSFORM shard_properties REPLACE "^ui_offscreen$" ui_offscreen_${index})
            endif()
            add_test(NAME ${target}_${index} COMMAND ${shard_command})
            # Each on a core of its own where CTest is given the cores; their
            # time limit allows for the cores being shared.
            set_tests_properties(${target}_${index} PROPERTIES ENVIRONMENT
                "GTEST_TOTAL_SHARDS=${arg_SHARDS};GTEST_SHARD_INDEX=${index}" ${shard_properties}
                COST 100 TIMEOUT 240 RESOURCE_GROUPS cores:1)
        endforeach()
    else()
        add_test(NAME ${target} COMMAND ${command})
        set_tests_properties(${target} PROPERTIES ${properties})
    endif()
endfunction()

# Links the game's front end, the harness and one flavour of the resources;
# object libraries contribute their objects only when linked directly.
# Arguments after the resources go to glidora_register_ui_test.
function(glidora_add_window_test target resources)
    add_executable(${target} ${target}.cpp)
    target_link_libraries(${target} PRIVATE ui_core ui_test_harness ${resources}
                                            GTest::gtest_main)
    glidora_register_ui_test(${target} ${ARGN})
endfunction()

# Under Wine, off screen, a full paint of the board takes about a millisecond
# and a dialog opening some 20 ms, nearly all of it Wine's own requests to its
# server (some 30 a paint, 900 a dialog): on a busy machine each of the
# robustness program's cases (100 000 messages, 70 000 paints, 2 000 dialog
# openings) needs a test of its own, the last two well over half a minute.
set(GLIDORA_ROBUSTNESS_SHARDS 3)

foreach(program IN LISTS GLIDORA_WINDOW_TESTS)
    if(program STREQUAL ui_nopictures_test)
        glidora_add_window_test(${program} ui_test_resources_no_pictures)
    elseif(program STREQUAL ui_robustness_test)
        glidora_add_window_test(${program} ui_test_resources SHARDS ${GLIDORA_ROBUSTNESS_SHARDS}
                                OFFSCREEN)
    else()
        glidora_add_window_test(${program} ui_test_resources)
    endif()
endforeach()

# Reads the resources back from the built game, not from a copy of its script.
add_executable(ui_resources_test ui_resources_test.cpp ui_pictures.cpp image.cpp)
target_include_directories(ui_resources_test PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(ui_resources_test PRIVATE GLIDORA_EXE="$<TARGET_FILE:glidora>"
                                                     GLIDORA_PROJECT_VERSION="${PROJECT_VERSION}"
                                                     GLIDORA_LICENSE="${PROJECT_SOURCE_DIR}/LICENSE")
target_link_libraries(ui_resources_test PRIVATE GTest::gtest_main)
add_dependencies(ui_resources_test glidora)
glidora_register_ui_test(ui_resources_test)
# The time the game was dated with here; Visual Studio's linker dates it with
# the time of the link.
if(GLIDORA_WINE_RUN)
    set_tests_properties(ui_resources_test PROPERTIES
                         ENVIRONMENT GLIDORA_EXE_TIME=${GLIDORA_SOURCE_DATE_EPOCH})
endif()

# The 64-bit build also reads the shipped 32-bit game, built in its own tree,
# where Wine could not run it.
if(GLIDORA_WIN32_GAME_EXE)
    add_test(NAME ui_resources_test_win32_exe COMMAND ui_resources_test)
    set(win32_game GLIDORA_EXE=${GLIDORA_WIN32_GAME_EXE} GLIDORA_EXE_BITS=32
                   GLIDORA_EXE_TIME=${GLIDORA_SOURCE_DATE_EPOCH})
    set_tests_properties(ui_resources_test_win32_exe PROPERTIES TIMEOUT 120 ENVIRONMENT
                                                                "${win32_game}")
endif()

# The window, dialog and pixel programs again, in a prefix of their own whose
# frame has the metrics of Windows 10 and 11 at 100 %: a taller caption and
# menu and a padded border. The board must still show whole.
if(GLIDORA_WINE_RUN)
    set(modern_prefix ${PROJECT_BINARY_DIR}/wineprefix-modern-frame)
    glidora_frame_settings(modern_frame -330 -285 -60)
    glidora_prefix_settings(ui_modern_frame ui_modern_frame_settings ${modern_prefix}
                            "${unmanaged_settings}${modern_frame}")
    foreach(program ui_window_test ui_dialogs_test ui_pixels_test)
        add_test(NAME ${program}_modern_frame
                 COMMAND ${GLIDORA_WINE_RUN} ${modern_prefix} $<TARGET_FILE:${program}>)
        set_tests_properties(${program}_modern_frame PROPERTIES
            ENVIRONMENT GLIDORA_FRAME=modern TIMEOUT 120 RESOURCE_LOCK glidora_desktop
            FIXTURES_REQUIRED ui_modern_frame)
    endforeach()
endif()
