# Run with cmake -DGENERATOR=... -DNUMERALS=... -DOUTPUT_DIR=... -DCOMMITTED_DIR=...
#                -P compare_pictures.cmake
# Regenerates the pictures into an empty directory and fails unless every file matches the
# committed one exactly, so the committed pictures can never drift from their generator.

foreach(required GENERATOR NUMERALS OUTPUT_DIR COMMITTED_DIR)
    if(NOT DEFINED ${required})
        message(FATAL_ERROR "compare_pictures: ${required} is not set")
    endif()
endforeach()

file(REMOVE_RECURSE "${OUTPUT_DIR}")
file(MAKE_DIRECTORY "${OUTPUT_DIR}")

execute_process(COMMAND "${GENERATOR}" "${OUTPUT_DIR}" "${NUMERALS}" RESULT_VARIABLE generator_result)
if(NOT generator_result EQUAL 0)
    message(FATAL_ERROR "compare_pictures: make_pictures failed (${generator_result})")
endif()

set(pictures board3.bmp board4.bmp board5.bmp board6.bmp glidora.ico)
foreach(picture IN LISTS pictures)
    execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${OUTPUT_DIR}/${picture}"
                            "${COMMITTED_DIR}/${picture}"
                    RESULT_VARIABLE compare_result)
    if(NOT compare_result EQUAL 0)
        message(FATAL_ERROR "compare_pictures: regenerated ${picture} differs from res/${picture}")
    endif()
endforeach()
message(STATUS "compare_pictures: all pictures regenerate identically")
