# Cross-build of the same sources for 64-bit Windows: the twin that runs the Windows tests
# (and the program) under 64-bit Wine on machines that cannot run 32-bit programs. Not a
# release.
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
