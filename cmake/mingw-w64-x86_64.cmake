# 64-bit x86 Windows: runs the Windows suite under 64-bit Wine on machines that cannot run
# 32-bit programs.
set(MINGW_PROCESSOR x86_64)
set(MINGW_TRIPLET x86_64-w64-mingw32)
set(MINGW_RUNNER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
