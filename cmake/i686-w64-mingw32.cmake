# Cross-compiles for 32-bit Windows with mingw-w64 and runs the Windows test
# programs under Wine (scripts/wine-run.sh) through CTest.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

# The win32-thread variants: a DLL built with them and without the C++
# runtime carries no winpthreads (no TLS callback, no TLS slot, no handles
# kept per load). The test programs switch to the posix-thread variants
# through cmake/posix-threads.sh, since GoogleTest needs std::mutex.
set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)
set(ZENDREL_DLLTOOL    i686-w64-mingw32-dlltool)
set(ZENDREL_POSIX_THREADS_LAUNCHER ${CMAKE_CURRENT_LIST_DIR}/posix-threads.sh)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
