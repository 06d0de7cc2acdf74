# The "sanitize" configuration: clang with AddressSanitizer and UndefinedBehaviorSanitizer on
# every target, plus libFuzzer targets that CTest runs for a bounded time.
option(MORVANE_SANITIZE "Build with clang sanitizers and libFuzzer targets" OFF)
set(MORVANE_FUZZ_SECONDS 60 CACHE STRING "How long each fuzzer runs under CTest")

if(MORVANE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# morvane_add_fuzzer(name SEEDS dir SOURCES file...): a libFuzzer program whose CTest test
# starts from the seed files in dir and runs for MORVANE_FUZZ_SECONDS.
function(morvane_add_fuzzer name)
    if(NOT MORVANE_SANITIZE)
        return()
    endif()
    cmake_parse_arguments(FUZZ "" "SEEDS" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${FUZZ_SOURCES})
    morvane_target_options(${name})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${FUZZ_LIBRARIES})
    # Coverage feedback must reach into the code under test, which lives in these libraries.
    foreach(library ${FUZZ_LIBRARIES})
        target_compile_options(${library} PRIVATE -fsanitize=fuzzer-no-link)
    endforeach()
    set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
    add_test(NAME ${name}
             COMMAND sh -c "mkdir -p '${work}' && exec \"$0\" -max_total_time=${MORVANE_FUZZ_SECONDS} -print_final_stats=1 '${work}' '${FUZZ_SEEDS}'"
                     $<TARGET_FILE:${name}>)
endfunction()
