# Cross build of the Windows plug-in (PE32, i686) with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(_prefix i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Tests of the Windows build run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
