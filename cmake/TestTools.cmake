# Programs the tests run. scripts/install-deps.sh installs every one, so a missing one is a
# broken machine: configuring stops and names it, instead of leaving its tests out.
# morvane_require_tool(VAR PACKAGE NAME...) sets VAR to the first NAME found on the PATH.
function(morvane_require_tool var package)
    find_program(${var} NAMES ${ARGN})
    if(NOT ${var})
        message(FATAL_ERROR "${ARGV2} not found: the tests need it (Debian package ${package}, "
                            "which scripts/install-deps.sh installs)")
    endif()
endfunction()
