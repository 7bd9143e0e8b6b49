# The front end's test programs. Each drives the real window procedure, the
# dialogs and the painting under Wine in an X display; one program per theme,
# so that a crash in one does not hide the results of the others.

# The game's resources for the test programs themselves: appInstance is the
# test program, so menu, dialogs and pictures are loaded from it. A library of
# its own, because the warning flags of the C++ sources mean nothing to windres.
add_library(ui_test_resources OBJECT ${PROJECT_SOURCE_DIR}/res/glidora.rc)
add_library(ui_test_resources_no_pictures OBJECT ${PROJECT_SOURCE_DIR}/res/glidora.rc)
target_compile_definitions(ui_test_resources_no_pictures PRIVATE GLIDORA_NO_PICTURES)

add_library(ui_test_harness OBJECT ui_harness.cpp ui_pictures.cpp board_invariants.cpp)
target_link_libraries(ui_test_harness PUBLIC ui_core GTest::gtest)
glidora_warnings(ui_test_harness)

set(GLIDORA_WINDOW_TESTS ui_window_test ui_dialogs_test ui_pixels_test ui_nopictures_test)

# Wine waits up to two seconds for a window manager to withdraw every managed
# window it hides, and the tests' X display has none: each closed box would
# cost that long. The test programs (not the game) get unmanaged windows.
if(CMAKE_CROSSCOMPILING)
    set(unmanaged_settings "REGEDIT4\n")
    foreach(program IN LISTS GLIDORA_WINDOW_TESTS)
        string(APPEND unmanaged_settings
               "\n[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\${program}.exe\\X11 Driver]\n"
               "\"Managed\"=\"N\"\n")
    endforeach()
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/ui_unmanaged_windows.reg "${unmanaged_settings}")
    add_test(NAME ui_unmanaged_windows
             COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} reg import
                     ${CMAKE_CURRENT_BINARY_DIR}/ui_unmanaged_windows.reg)
    set_tests_properties(ui_unmanaged_windows PROPERTIES FIXTURES_SETUP ui_wine_settings)
endif()

# Programs that open windows share one Wine desktop and one X display: they
# run one at a time, so that no window of one covers a window of another.
function(glidora_register_ui_test target)
    glidora_warnings(${target})
    glidora_add_gtest(${target})
    set_tests_properties(${target} PROPERTIES TIMEOUT 120)
    if(target IN_LIST GLIDORA_WINDOW_TESTS)
        set_tests_properties(${target} PROPERTIES RESOURCE_LOCK glidora_wine_desktop
                                                  FIXTURES_REQUIRED ui_wine_settings)
    endif()
endfunction()

# Links the game's front end, the harness and one flavour of the resources;
# object libraries contribute their objects only when linked directly.
function(glidora_add_window_test target resources)
    add_executable(${target} ${target}.cpp)
    target_link_libraries(${target} PRIVATE ui_core ui_test_harness ${resources}
                                            GTest::gtest_main)
    glidora_register_ui_test(${target})
endfunction()

foreach(program IN LISTS GLIDORA_WINDOW_TESTS)
    if(program STREQUAL ui_nopictures_test)
        glidora_add_window_test(${program} ui_test_resources_no_pictures)
    else()
        glidora_add_window_test(${program} ui_test_resources)
    endif()
endforeach()

# Reads the resources back from the built game, not from a copy of its script.
add_executable(ui_resources_test ui_resources_test.cpp ui_pictures.cpp)
target_include_directories(ui_resources_test PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(ui_resources_test PRIVATE GLIDORA_EXE="$<TARGET_FILE:glidora>")
target_link_libraries(ui_resources_test PRIVATE GTest::gtest_main)
add_dependencies(ui_resources_test glidora)
glidora_register_ui_test(ui_resources_test)
