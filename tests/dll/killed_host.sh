#!/usr/bin/env bash
# Hosts killed with SIGKILL at random moments while they release the plug-in
# (End task, a logoff, a crash): whatever the moment, the folder never holds
# a side file that is cut or empty, and the next host's release puts it right.
# Then two hosts at once, each releasing its own copy of one folder
# (Zendrel-T0.dll and Zendrel-T1.dll share both side files), one of them
# killed while the other goes on.
#
#   tests/dll/killed_host.sh BIN_DIR [KILLS] [PAIRS]
#
# dying_host loads and releases a copy over and over, removing the side
# files after each release, so that every release writes both.
set -u
bin=$(cd "$1" && pwd) || exit 2
kills=${2:-30}
pairs=${3:-12}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=-all WINEARCH=win32 WINEDLLOVERRIDES=mscoree,mshtml= LC_ALL=ja_JP.UTF-8
unset DISPLAY WAYLAND_DISPLAY

work=$(mktemp -d "${TMPDIR:-/tmp}/zendrel-kill.XXXXXX")
trap 'kill -KILL $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
tv="$work/tv"
mkdir "$tv"
for copy in Zendrel-T.dll Zendrel-T0.dll Zendrel-T1.dll; do cp "$bin/Zendrel.dll" "$tv/$copy"; done
cp "$bin/standin/EarthPtDll.dll" "$tv/"
win() { local p=${1//\//\\}; echo "Z:$p"; }
host() { timeout 20 wine "$bin/dying_host.exe" "$@" </dev/null >/dev/null 2>&1; }
releasing() {
  wine "$bin/dying_host.exe" release "$(win "$tv/$1")" "$(win "$tv/Zendrel-ST.ini")" \
    "$(win "$tv/Zendrel-T.SetCh.txt")" </dev/null >/dev/null 2>&1 &
}
pause() { sleep "0.$((RANDOM % 280 + 120))"; }

# The system closes a killed program's files a moment after it is gone (a
# file it was removing is still there until then): wait until the folder
# stays the same for a while, at most five seconds.
settle() {
  local last="" now i
  for i in $(seq 50); do
    now=$(ls -l --time-style=+%s.%N "$tv")
    [ "$now" = "$last" ] && return
    last=$now
    sleep 0.1
  done
}

# Each side file that is there is whole: a copy taken first, since a host
# still running may remove it meanwhile.
failed=0
check() {
  local f
  for f in Zendrel-ST.ini Zendrel-T.SetCh.txt; do
    cp "$tv/$f" "$work/seen" 2>/dev/null || continue
    if ! cmp -s "$work/seen" "$work/$f"; then
      echo "FAIL  $1 left $f of $(stat -c %s "$work/seen") bytes (whole: $(stat -c %s "$work/$f"))"
      failed=1
    fi
  done
}

# The files as a release that nobody interrupts writes them.
host release-once "$(win "$tv/Zendrel-T.dll")" || { echo "FAIL  dying_host did not run"; exit 1; }
for f in Zendrel-ST.ini Zendrel-T.SetCh.txt; do
  [ -s "$tv/$f" ] || { echo "FAIL  no $f after a whole release"; exit 1; }
  mv "$tv/$f" "$work/$f"
done

for i in $(seq "$kills"); do
  # Wine takes about 0.1 s to start the program; the kill comes after that.
  releasing Zendrel-T.dll
  pid=$!
  pause
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  settle
  check "kill $i"
  [ $failed = 0 ] || break
done
[ $failed = 0 ] && echo "ok    $kills hosts killed while releasing: no side file cut or empty"

for i in $(seq "$pairs"); do
  [ $failed = 0 ] || break
  releasing Zendrel-T0.dll
  first=$!
  releasing Zendrel-T1.dll
  second=$!
  pause
  kill -KILL "$first" 2>/dev/null
  wait "$first" 2>/dev/null
  check "pair $i, the first killed"
  pause
  kill -KILL "$second" 2>/dev/null
  wait "$second" 2>/dev/null
  settle
  check "pair $i, both killed"
done
[ $failed = 0 ] && echo "ok    $pairs pairs of hosts sharing the side files, killed one after the other: none cut"

# The next host that releases writes what is missing and leaves no
# temporary file behind.
rm -f "$tv/Zendrel-ST.ini" "$tv/Zendrel-T.SetCh.txt"
host release-once "$(win "$tv/Zendrel-T.dll")"
if cmp -s "$tv/Zendrel-T.SetCh.txt" "$work/Zendrel-T.SetCh.txt" && cmp -s "$tv/Zendrel-ST.ini" "$work/Zendrel-ST.ini" &&
   [ -z "$(find "$tv" -name '*.~[0-9][0-9]')" ]; then
  echo "ok    the next release writes both files whole and leaves no temporary file"
else
  echo "FAIL  after the kills: $(ls "$tv" | tr '\n' ' ')"
  failed=1
fi
exit $failed
