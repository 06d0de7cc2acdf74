# GoogleTest from Debian's sources; nothing is downloaded at build time.
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/third_party/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# A GoogleTest program of ours. On the host each test case is its own CTest test; under Wine
# the whole program is one CTest test, since every Wine start costs a fraction of a second.
function(morvane_add_gtest target)
    add_executable(${target} ${ARGN})
    morvane_target_options(${target})
    target_link_libraries(${target} PRIVATE GTest::gtest_main)
    if(CMAKE_CROSSCOMPILING)
        add_test(NAME ${target} COMMAND ${target})
    else()
        gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST)
    endif()
endfunction()
