# A fixture that imports a prefix's settings (test `import`), then waits for
# its server to end: programs read the frame metrics from a fresh one.
# GLIDORA_WINE_RUN is the caller's command that runs a Windows program in a
# given prefix.
function(glidora_prefix_settings fixture import prefix settings)
    file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${import}.reg "${settings}")
    add_test(NAME ${import} COMMAND ${GLIDORA_WINE_RUN} ${prefix} reg import
                                    ${CMAKE_CURRENT_BINARY_DIR}/${import}.reg)
    add_test(NAME ${fixture}_server_restart COMMAND wineserver -w)
    set_tests_properties(${fixture}_server_restart PROPERTIES
        DEPENDS ${import} ENVIRONMENT WINEPREFIX=${prefix})
    set_tests_properties(${import} ${fixture}_server_restart PROPERTIES FIXTURES_SETUP ${fixture})
endfunction()
