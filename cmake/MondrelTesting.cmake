find_package(GTest REQUIRED)
include(GoogleTest)

# mondrel_add_test(NAME SOURCES src... LIBS lib...)
# One test executable, discovered test by test, run without a display.
function(mondrel_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;TZ=UTC"
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()
