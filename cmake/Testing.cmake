# GoogleTest for every build, and the helper that registers a test program.
#
# Native builds use Debian's prebuilt GoogleTest. Cross builds compile it from
# Debian's sources, and run their tests under Wine (see Wine.cmake): a 64-bit
# Windows build on the host's Wine, a 32-bit one on the 32-bit Wine of the
# chroot named by METROVA_W32_ROOT (scripts/w32-setup.sh). Without that
# chroot a 32-bit build is compiled and linked only.

include(GoogleTest)

set(METROVA_W32_ROOT "" CACHE PATH "Chroot with 32-bit Wine for running the 32-bit Windows build's tests")
set(WINE_TIMEOUT_SCALE 1)
if(CMAKE_CROSSCOMPILING)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8 OR METROVA_W32_ROOT)
        include(${CMAKE_CURRENT_LIST_DIR}/Wine.cmake)
        set(METROVA_RUN_TESTS ON)
    else()
        set(METROVA_RUN_TESTS OFF)
    endif()
else()
    find_package(GTest REQUIRED)
    set(METROVA_RUN_TESTS ON)
endif()
# Where a path of the build machine is seen by the test programs: as it is
# natively, on Wine's Z: drive (the host's root) in the Windows builds.
if(CMAKE_CROSSCOMPILING)
    set(METROVA_HOST_PATH_PREFIX "Z:")
else()
    set(METROVA_HOST_PATH_PREFIX "")
endif()
math(EXPR METROVA_TEST_TIMEOUT "120 * ${WINE_TIMEOUT_SCALE}")
# A whole test program in one start (see metrova_register_gtest).
math(EXPR METROVA_PROGRAM_TIMEOUT "300 * ${WINE_TIMEOUT_SCALE}")

# metrova_add_test(<name> <sources>... [ENVIRONMENT <var=value>...]
#                  [RESOURCE_LOCK <lock>] [FIXTURES <fixture>]) builds a
# GoogleTest program and, where this machine can run it, registers it with
# CTest (see metrova_register_gtest), with the given environment; tests
# holding the same lock never run at the same time, and a fixture's set-up
# test runs before them.
function(metrova_add_test name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "RESOURCE_LOCK;FIXTURES" "ENVIRONMENT")
    add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
    # Every test file includes GoogleTest's header, and much of the standard
    # library with it: parsed once per program, not once per file (a second
    # of each file's compile, more under MinGW).
    target_precompile_headers(${name} PRIVATE <gtest/gtest.h>)
    # The Windows builds compile the test programs' own files at -O1; the
    # code under test, in its libraries, keeps the build's -O2. A MinGW
    # compile of a test file takes a quarter to a third less time so; the
    # tests' own code runs a little slower (the slowest 32-bit test, which
    # synthesises its recordings, by a tenth).
    if(CMAKE_CROSSCOMPILING AND CMAKE_BUILD_TYPE STREQUAL "RelWithDebInfo")
        target_compile_options(${name} PRIVATE -O1)
    endif()
    if(NOT METROVA_RUN_TESTS)
        return()
    endif()
    if(TARGET wine_prefix)
        add_dependencies(${name} wine_prefix)
    endif()
    metrova_register_gtest(${name} ENVIRONMENT "${arg_ENVIRONMENT}" RESOURCE_LOCK "${arg_RESOURCE_LOCK}"
        FIXTURES "${arg_FIXTURES}")
endfunction()

# metrova_register_gtest(<target> [ENVIRONMENT <var=value>...]
#                        [RESOURCE_LOCK <lock>]) registers a GoogleTest
# program with CTest. Natively every case is a CTest test of its own. Under
# Wine each start of a program costs a Wine process start (and, in the 32-bit
# build, emulation: about a second), far more than most cases take, so there
# the program is one CTest test that runs all its cases in one start. Its
# output, shown when it fails, names each case as it starts and every failed
# case with its failure, so a case that fails or hangs is named there.
function(metrova_register_gtest name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "RESOURCE_LOCK;FIXTURES" "ENVIRONMENT")
    if(CMAKE_CROSSCOMPILING)
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES TIMEOUT ${METROVA_PROGRAM_TIMEOUT}
            ENVIRONMENT "${arg_ENVIRONMENT}" RESOURCE_LOCK "${arg_RESOURCE_LOCK}"
            FIXTURES_REQUIRED "${arg_FIXTURES}")
        return()
    endif()
    # Only properties with a value are passed: the discovery script drops an
    # empty value, and the next property's name would then become it.
    set(properties TIMEOUT ${METROVA_TEST_TIMEOUT})
    foreach(pair "ENVIRONMENT;arg_ENVIRONMENT" "RESOURCE_LOCK;arg_RESOURCE_LOCK" "FIXTURES_REQUIRED;arg_FIXTURES")
        list(GET pair 0 property)
        list(GET pair 1 variable)
        if(NOT "${${variable}}" STREQUAL "")
            list(APPEND properties ${property} "${${variable}}")
        endif()
    endforeach()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT ${METROVA_TEST_TIMEOUT}
        PROPERTIES ${properties})
endfunction()
