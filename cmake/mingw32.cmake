# Cross build for 32-bit Windows, for 32-bit hosts.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ORBENIX_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
