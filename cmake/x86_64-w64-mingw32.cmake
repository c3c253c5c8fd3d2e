# Cross-compiles for 64-bit Windows with mingw-w64 and runs the Windows test
# programs under 64-bit Wine (scripts/wine-run.sh picks the 64-bit prefix for
# a 64-bit program) through CTest.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix-thread variants, named as such: the unsuffixed names are the
# win32-thread ones wherever both are installed, and only these are
# (g++-mingw-w64-x86-64-posix). zendrel-host and the test programs need
# std::thread and std::mutex. A lean DLL built here must link without the
# default libraries (-nostartfiles -nodefaultlibs ... -lkernel32 -lgcc), so
# that no winpthreads (a TLS callback, a slot and handles kept per load)
# comes with it.
set(CMAKE_C_COMPILER   x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  x86_64-w64-mingw32-windres)
set(ZENDREL_DLLTOOL    x86_64-w64-mingw32-dlltool)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
