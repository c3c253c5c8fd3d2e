#!/usr/bin/env bash
# Hosts killed with SIGKILL at random moments while they release the plug-in
# (End task, a logoff, a crash): whatever the moment, the folder never holds
# a side file that is cut or empty, and the next host's release puts it right.
#
#   tests/dll/killed_host.sh BIN_DIR [KILLS]
#
# dying_host loads and releases a terrestrial copy over and over, removing
# the side files after each release, so that every release writes both.
set -u
bin=$(cd "$1" && pwd) || exit 2
kills=${2:-60}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=-all WINEARCH=win32 WINEDLLOVERRIDES=mscoree,mshtml= LC_ALL=ja_JP.UTF-8
unset DISPLAY WAYLAND_DISPLAY

work=$(mktemp -d "${TMPDIR:-/tmp}/zendrel-kill.XXXXXX")
trap 'rm -rf "$work"' EXIT
tv="$work/tv"
mkdir "$tv"
cp "$bin/Zendrel.dll" "$tv/Zendrel-T.dll"
cp "$bin/standin/EarthPtDll.dll" "$tv/"
win() { local p=${1//\//\\}; echo "Z:$p"; }
host() { wine "$bin/dying_host.exe" "$@" </dev/null >/dev/null 2>&1; }

# The files as a release that nobody interrupts writes them.
host release-once "$(win "$tv/Zendrel-T.dll")" || { echo "FAIL  dying_host did not run"; exit 1; }
for f in Zendrel-ST.ini Zendrel-T.SetCh.txt; do
  [ -s "$tv/$f" ] || { echo "FAIL  no $f after a whole release"; exit 1; }
  mv "$tv/$f" "$work/$f"
done

failed=0
for i in $(seq "$kills"); do
  # Wine takes about 0.1 s to start the program; the kill comes after that.
  wine "$bin/dying_host.exe" release "$(win "$tv/Zendrel-T.dll")" "$(win "$tv/Zendrel-ST.ini")" \
    "$(win "$tv/Zendrel-T.SetCh.txt")" </dev/null >/dev/null 2>&1 &
  pid=$!
  sleep "0.$((RANDOM % 280 + 120))"
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  for f in Zendrel-ST.ini Zendrel-T.SetCh.txt; do
    if [ -e "$tv/$f" ] && ! cmp -s "$tv/$f" "$work/$f"; then
      echo "FAIL  kill $i left $f of $(stat -c %s "$tv/$f") bytes (whole: $(stat -c %s "$work/$f"))"
      failed=1
    fi
  done
  [ $failed = 0 ] || break
done
[ $failed = 0 ] && echo "ok    $kills hosts killed while releasing: no side file cut or empty"

# The next host that releases writes what is missing and leaves no
# temporary file behind.
rm -f "$tv/Zendrel-ST.ini" "$tv/Zendrel-T.SetCh.txt"
host release-once "$(win "$tv/Zendrel-T.dll")"
if cmp -s "$tv/Zendrel-T.SetCh.txt" "$work/Zendrel-T.SetCh.txt" && cmp -s "$tv/Zendrel-ST.ini" "$work/Zendrel-ST.ini" &&
   [ -z "$(find "$tv" -name '*.tmp')" ]; then
  echo "ok    the next release writes both files whole and leaves no temporary file"
else
  echo "FAIL  after the kills: $(ls "$tv" | tr '\n' ' ')"
  failed=1
fi
exit $failed
