# Sourced by wine-prefix.sh and wine-run.sh: the project's two Wine prefixes,
# one per bitness, kept side by side in build/:
#
#   build/wineprefix     32-bit (WINEARCH=win32): the plug-in and its tests
#   build/wineprefix64   64-bit (WINEARCH=win64): 64-bit programs, and 32-bit
#                        ones beside them when ZENDREL_WINE_BITS=64 says so
#
# zendrel_wine_env BITS sets WINEPREFIX (unless the caller set it), the
# locale (ANSI code page 932) and Wine's quiet settings; zendrel_wine_make
# creates the prefix when it is missing.
zendrel_wine_env() {
  local root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  ZENDREL_WINE_BITS=$1
  if [ "$1" = 64 ]; then
    export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix64}
  else
    export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
  fi
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
  export LC_ALL=ja_JP.UTF-8
  # An existing prefix knows its own architecture, and Wine refuses a
  # WINEARCH that disagrees with it: it is given only to make one.
  unset WINEARCH DISPLAY WAYLAND_DISPLAY
}

zendrel_wine_make() {
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  mkdir -p "$WINEPREFIX"
  local arch=win32
  [ "$ZENDREL_WINE_BITS" = 64 ] && arch=win64
  WINEARCH=$arch wineboot -i >/dev/null 2>&1
}

# 64 when FILE is a 64-bit Windows program (PE32+, machine x86-64), else 32.
zendrel_wine_bits_of() {
  local offset machine
  [ -f "$1" ] || { echo 32; return; }
  offset=$(od -An -tu4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
  machine=$(od -An -tx2 -j "$((${offset:-0} + 4))" -N 2 "$1" 2>/dev/null | tr -d ' ')
  [ "$machine" = 8664 ] && echo 64 || echo 32
}
