# Cross build of the 64-bit Windows plug-in for AviUtl ExEdit2 (PE32+, x86-64)
# with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_prefix x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Tests of the 64-bit build run under 64-bit Wine (tests/wine/run-wine-tests.sh
# sets its prefix and loader).
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
