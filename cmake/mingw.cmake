# What both Windows cross builds share: the mingw-w64 "posix" compilers (they
# carry std::thread and std::mutex; winpthread is linked statically) of the
# triplet that mingw32.cmake or mingw64.cmake names before including this.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ORBENIX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORBENIX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ORBENIX_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ORBENIX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
