find_package(GTest REQUIRED)
include(GoogleTest)

# How long one test may run before CTest stops it; the slowest take a few seconds.
set(MONDREL_TEST_TIMEOUT 120 CACHE STRING "Seconds one test may run")

# mondrel_add_test(NAME [QT_MAIN] SOURCES src... LIBS lib...)
# One test executable, discovered test by test, run without a display and stopped after
# MONDREL_TEST_TIMEOUT seconds. QT_MAIN: its main makes the one QApplication of the run
# (tests/support/QtTestMain.cpp).
function(mondrel_add_test name)
    cmake_parse_arguments(ARG "QT_MAIN" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    if(ARG_QT_MAIN)
        set(main mondrel_qt_test_main)
    else()
        set(main GTest::gtest_main)
    endif()
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} mondrel_test_support ${main}
        GTest::gtest GTest::gmock)
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;TZ=UTC"
            TIMEOUT ${MONDREL_TEST_TIMEOUT}
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
endfunction()
