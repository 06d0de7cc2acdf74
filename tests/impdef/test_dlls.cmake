# The test DLLs, built with mingw for i686 and x86_64 from one source and each one's own .def:
# ${CMAKE_CURRENT_BINARY_DIR}/testdll32.dll and testdll64.dll, made by target impdef_test_dlls.
find_program(MORVANE_MINGW32_CC NAMES i686-w64-mingw32-gcc-posix i686-w64-mingw32-gcc REQUIRED)
find_program(MORVANE_MINGW64_CC NAMES x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-gcc REQUIRED)
set(impdef_test_dlls)
foreach(bits 32 64)
    set(dll ${CMAKE_CURRENT_BINARY_DIR}/testdll${bits}.dll)
    set(src ${CMAKE_CURRENT_SOURCE_DIR}/testdll)
    add_custom_command(OUTPUT ${dll}
        COMMAND ${MORVANE_MINGW${bits}_CC} -shared -s -o ${dll} ${src}/testdll.c ${src}/testdll${bits}.def
        DEPENDS ${src}/testdll.c ${src}/testdll${bits}.def
        COMMENT "Building test DLL testdll${bits}.dll")
    list(APPEND impdef_test_dlls ${dll})
endforeach()
add_custom_target(impdef_test_dlls ALL DEPENDS ${impdef_test_dlls})
