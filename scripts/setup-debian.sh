#!/usr/bin/env bash
# Installs what building and testing need on a Debian machine: CMake, the
# i686 and x86_64 mingw-w64 cross compilers, 32-bit and 64-bit Wine (with
# wine64 installed, wineserver runs its 64-bit server for the 32-bit prefix
# too, which the 32-bit tests take as it is), a Japanese UTF-8 locale (so
# that Wine's ANSI code page is 932), the GoogleTest sources, and clang with
# libFuzzer for the fuzz targets; for zendrel-host's HTTP server, nlohmann/json
# and Boost's headers (Asio and Beast); jsmn, the JSON tokenizer of the network
# plug-in (one header); ffmpeg, mpv, chromium and curl, with which the
# server's tests play and read a stream and its playlist and load its page.
# Idempotent: it does nothing when everything is already there.
set -euo pipefail

need=()
command -v cmake >/dev/null                    || need+=(cmake)
command -v make >/dev/null                     || need+=(make)
command -v g++ >/dev/null                      || need+=(g++)
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686 mingw-w64-tools)
command -v i686-w64-mingw32-windres >/dev/null || need+=(binutils-mingw-w64-i686)
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
command -v x86_64-w64-mingw32-windres >/dev/null || need+=(binutils-mingw-w64-x86-64)
[ -f /usr/src/googletest/CMakeLists.txt ]      || need+=(googletest)
command -v clang++ >/dev/null                  || need+=(clang)
# libFuzzer and clang's sanitizer runtimes come in their own package, which
# clang's packages only recommend; clang names its full path only if it exists.
[ -f "$(clang++ -print-file-name="libclang_rt.fuzzer-$(uname -m).a" 2>/dev/null)" ] || need+=(libclang-rt-14-dev)
[ -f /usr/share/i18n/SUPPORTED ]               || need+=(locales)
[ -f /usr/include/nlohmann/json.hpp ]          || need+=(nlohmann-json3-dev)
[ -f /usr/include/boost/beast.hpp ]            || need+=(libboost-dev)
[ -f /usr/include/jsmn.h ]                     || need+=(libjsmn-dev)
command -v ffprobe >/dev/null                  || need+=(ffmpeg)
command -v curl >/dev/null                     || need+=(curl)
command -v mpv >/dev/null                      || need+=(mpv)
command -v chromium >/dev/null                 || need+=(chromium)
wine_ok=1
command -v wine >/dev/null || wine_ok=0
dpkg -s wine32:i386 >/dev/null 2>&1 || wine_ok=0
# Debian puts no wine64 command on PATH: plain wine runs both bitnesses.
[ -x /usr/lib/wine/wine64 ] || wine_ok=0

if [ ${#need[@]} -gt 0 ] || [ $wine_ok = 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "setup: missing packages (${need[*]} wine32 wine64); run as root to install them" >&2
    exit 1
  fi
  if [ $wine_ok = 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  [ $wine_ok = 0 ] && need+=(wine wine32:i386 wine64)
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  if [ "$(id -u)" != 0 ]; then
    echo "setup: the ja_JP.UTF-8 locale is missing; run as root to generate it" >&2
    exit 1
  fi
  sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

