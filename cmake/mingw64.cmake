# Cross build for 64-bit Windows, for 64-bit hosts (a 64-bit process loads
# only a 64-bit in-process server).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORBENIX_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
