#!/usr/bin/env bash
# start [32|64]: create the project's Wine prefix of that bitness (32 when
#                not given) if needed and keep its server up, so that each
#                test program starts in well under a second.
# stop [32|64]:  end that server (only the one of this prefix).
#
# The prefixes: build/wineprefix (32-bit) and build/wineprefix64 (64-bit);
# see scripts/wine-env.sh.
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
bits=${2:-32}
case "$bits" in
  32|64) ;;
  *) echo "usage: $0 start|stop [32|64]" >&2; exit 2 ;;
esac
zendrel_wine_env "$bits"
case "${1:-}" in
  start)
    zendrel_wine_make
    wineserver -p >/dev/null 2>&1 || true
    # Start Wine's background services now, detached from any pipe: started
    # by a test instead, they would inherit its output pipe and keep CTest or
    # a shell pipeline waiting for an end of file that never comes.
    wine cmd /c exit </dev/null >/dev/null 2>&1 || true ;;
  stop)
    wineserver -k >/dev/null 2>&1 || true ;;
  *) echo "usage: $0 start|stop [32|64]" >&2; exit 2 ;;
esac
