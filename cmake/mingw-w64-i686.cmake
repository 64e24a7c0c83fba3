# 32-bit x86 Windows, the library's real platform.
set(MINGW_PROCESSOR i686)
set(MINGW_TRIPLET i686-w64-mingw32)
set(MINGW_RUNNER wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
