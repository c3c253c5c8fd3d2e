#!/bin/sh
# Compiler and linker launcher for the test programs and the benchmarks:
# CMake calls it with the compiler it chose (the win32-thread variant, whose
# libstdc++ has no std::mutex) and its arguments; it runs the posix-thread
# variant of the same compiler instead, which GoogleTest needs.
compiler=$1
shift
exec "${compiler%-win32}-posix" "$@"
