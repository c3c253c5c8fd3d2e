#!/usr/bin/env bash
# start: create the project's Wine prefix if needed and keep its server up, so
#        that each test program starts in well under a second.
# stop:  end that server (only the one of this prefix).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=-all WINEARCH=win32 WINEDLLOVERRIDES=mscoree,mshtml=
case "${1:-}" in
  start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      mkdir -p "$WINEPREFIX"
      env -u DISPLAY LC_ALL=ja_JP.UTF-8 wineboot -i >/dev/null 2>&1
    fi
    wineserver -p >/dev/null 2>&1 || true
    # Start Wine's background services now, detached from any pipe: started
    # by a test instead, they would inherit its output pipe and keep CTest or
    # a shell pipeline waiting for an end of file that never comes.
    env -u DISPLAY LC_ALL=ja_JP.UTF-8 wine cmd /c exit </dev/null >/dev/null 2>&1 || true ;;
  stop)
    wineserver -k >/dev/null 2>&1 || true ;;
  *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
