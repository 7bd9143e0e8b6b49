# Native-only targets for the committed pictures in res/: the generator that draws them, tests
# that decode the committed files, and a check that regenerating them reproduces every byte.

include(GoogleTest)

add_executable(make_pictures ${PROJECT_SOURCE_DIR}/tools/make_pictures.cpp)
target_compile_features(make_pictures PRIVATE cxx_std_20)
glidora_warnings(make_pictures)

add_executable(pictures_test ${PROJECT_SOURCE_DIR}/tests/pictures_test.cpp
                             ${PROJECT_SOURCE_DIR}/tests/image.cpp
                             ${PROJECT_SOURCE_DIR}/tests/ui_pictures.cpp)
target_compile_features(pictures_test PRIVATE cxx_std_20)
target_compile_definitions(pictures_test PRIVATE GLIDORA_RES_DIR="${PROJECT_SOURCE_DIR}/res")
target_link_libraries(pictures_test PRIVATE GTest::gtest_main)
glidora_warnings(pictures_test)
gtest_discover_tests(pictures_test)

add_test(NAME pictures_regenerate_identically
         COMMAND ${CMAKE_COMMAND} -DGENERATOR=$<TARGET_FILE:make_pictures>
                 -DNUMERALS=${PROJECT_SOURCE_DIR}/tools/numerals.txt
                 -DOUTPUT_DIR=${CMAKE_CURRENT_BINARY_DIR}/regenerated_pictures
                 -DCOMMITTED_DIR=${PROJECT_SOURCE_DIR}/res
                 -P ${CMAKE_CURRENT_LIST_DIR}/compare_pictures.cmake)
