# GoogleTest is compiled from Debian's sources with this build's flags (sanitizers, cross
# compilers); an installed package is the fallback.
if(NOT TARGET GTest::gtest_main)
    set(_kavro_gtest_src /usr/src/googletest)
    if(EXISTS ${_kavro_gtest_src}/CMakeLists.txt)
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
        # Its own CMake file defines the GTest:: aliases.
        add_subdirectory(${_kavro_gtest_src} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
    else()
        find_package(GTest REQUIRED)
    endif()
endif()
include(GoogleTest)

# One test executable per room; each test case shows up in CTest on its own.
function(kavro_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest_main GTest::gmock)
    target_compile_definitions(${name} PRIVATE
        KAVRO_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
    kavro_warnings(${name})
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
endfunction()

# A QtTest executable, run offscreen. LOCKS names CTest resource locks it shares.
function(kavro_qtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LOCKS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt5::Test kavro_testsupport)
    target_compile_definitions(${name} PRIVATE
        KAVRO_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
    kavro_warnings(${name})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    if(ARG_LOCKS)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${ARG_LOCKS}")
    endif()
endfunction()
