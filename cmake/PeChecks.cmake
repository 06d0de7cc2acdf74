# A test that reads an executable's PE header and import table: 32-bit x86, the expected
# subsystem, and imports of system DLLs only.
function(morvane_add_pe_check target subsystem)
    add_test(NAME pe_check_${target}
             COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-pe.sh
                     $<TARGET_FILE:${target}> ${subsystem} ${CMAKE_OBJDUMP})
endfunction()
