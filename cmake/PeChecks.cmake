# A test that reads an executable's PE header and import table: the machine this build
# targets (PE32/x86 or PE32+/x64), the expected subsystem, and imports of system DLLs only.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(MORVANE_MACHINE x64)
else()
    set(MORVANE_MACHINE x86)
endif()

function(morvane_add_pe_check target subsystem)
    add_test(NAME pe_check_${target}
             COMMAND bash ${PROJECT_SOURCE_DIR}/tests/support/pe_check.sh
                     $<TARGET_FILE:${target}> ${subsystem} ${MORVANE_MACHINE} ${CMAKE_OBJDUMP})
endfunction()
