# Options every target of ours gets: strict warnings, UTF-8 sources whose narrow literals
# become code-page-936 bytes (GCC only; clang builds just the tools, whose texts are ASCII).
function(morvane_target_options target)
    target_compile_features(${target} PRIVATE cxx_std_17)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Werror
        $<$<CXX_COMPILER_ID:GNU>:-finput-charset=UTF-8 -fexec-charset=CP936>)
    if(WIN32)
        target_compile_definitions(${target} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0501)
    endif()
endfunction()
