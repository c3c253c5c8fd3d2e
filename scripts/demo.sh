#!/usr/bin/env bash
# The plug-in at work, end to end: a folder laid out as a viewer's plug-in
# folder would be, with the plug-in as a satellite and a terrestrial copy
# beside the board library (here the project's stand-in, whose stream is
# simulated: BS channel 0 is fed by the test-pattern clip), checked, its
# channels listed, a few seconds of the clip's channel recorded, and the side
# files it writes at release.
#
#   scripts/demo.sh BIN_DIR DEMO_DIR
#
# A channel file edited in DEMO_DIR is kept from one run to the next; all
# else there is laid out anew.
set -eu
bin=$(cd "$1" && pwd)
demo=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
run="$root/scripts/wine-run.sh"

mkdir -p "$demo"
demo=$(cd "$demo" && pwd)
find "$demo" -mindepth 1 -maxdepth 1 ! -name '*.SetCh.txt' -exec rm -rf {} +
cp "$bin/Zendrel.dll" "$demo/Zendrel-S.dll"
cp "$bin/Zendrel.dll" "$demo/Zendrel-T.dll"
cp "$bin/standin/EarthPtDll.dll" "$demo/EarthPtDll.dll"
cp "$bin/standin/testpattern.ts" "$demo/testpattern.ts"
# The stand-in's set-up file: BS channel 0 (PT channel 0, TS ID 0x4010) plays
# the clip in a loop at its own rate; every other channel is generated.
printf '%s\r\n' '; the stand-in board library of the demo' '[feeds]' \
  'satellite 0 0x4010 = testpattern.ts' >"$demo/EarthPtDll-standin.ini"
cp "$bin/zendrel-host.exe" "$demo/"
win() { local p=${1//\//\\}; echo "Z:$p"; }
host() { "$run" "$demo/zendrel-host.exe" "$@"; }

step() { printf '\n== %s\n' "$*"; }

kept=$(cd "$demo" && ls ./*.SetCh.txt 2>/dev/null | sed 's|^\./||' | tr '\n' ' ' || true)
if [ -n "$kept" ]; then
  step "Kept from the last run: $kept(delete them for the defaults)"
fi

step "What the satellite copy makes of its name, side files and board"
host check "$(win "$demo/Zendrel-S.dll")" --board || echo "   (check found something to fix; see above)"

step "Channels of the satellite copy"
host list "$(win "$demo/Zendrel-S.dll")"

step "Channels of the terrestrial copy"
host list "$(win "$demo/Zendrel-T.dll")" | head -n 12
echo "   ..."

# The clip's channel is found by what it carries, PT channel 0 with TS ID
# 0x4010, as the channel file now lists it: the file may have been edited.
clip=$(host check "$(win "$demo/Zendrel-S.dll")" | sed -n \
  's/^  line [0-9]*: kept: space \([0-9]*\) (.*) channel \([0-9]*\): "\(.*\)", PT channel 0, TS ID 0x4010$/\1 \2 \3/p' |
  head -n 1 || true)
recording=
if [ -z "$clip" ] && [ -f "$demo/Zendrel-S.SetCh.txt" ]; then
  step "Nothing to record"
  echo "The satellite channel file no longer lists the channel that plays the test-pattern clip"
  echo "(PT channel 0 with TS ID 0x4010), so the demo records nothing. Add that row again, or"
  echo "delete $demo/Zendrel-S.SetCh.txt for the default list, and run make demo again."
else
  read -r space channel name <<<"${clip:-0 0 BS1/TS0}"
  recording="$demo/$(tr -c 'A-Za-z0-9._-' '-' <<<"$name" | sed 's/-*$//').ts"
  step "Recording 3 seconds of $name (space $space, channel $channel), where the stand-in plays the test-pattern clip"
  host record "$(win "$demo/Zendrel-S.dll")" --space "$space" --channel "$channel" --seconds 3 --out "$(win "$recording")"
  if command -v ffprobe >/dev/null; then
    step "What ffprobe finds in the recording"
    ffprobe -hide_banner "$recording" 2>&1 | grep -E '^ *(Duration|Stream)'
  fi
fi

step "What is in the demo folder now"
if [ -n "$recording" ]; then
  echo "recording:     $recording ($(stat -c %s "$recording") bytes, simulated:"
  echo "               the stand-in's test pattern and tone; play it with ffplay, mpv or VLC)"
fi
echo "stand-in:      $demo/EarthPtDll.dll with its set-up file EarthPtDll-standin.ini"
echo "settings file: $demo/Zendrel-ST.ini (written at release; shared by both copies)"
echo "channel files: $demo/Zendrel-S.SetCh.txt, $demo/Zendrel-T.SetCh.txt (written at release"
echo "               when missing; edit one, check it with the command below, run make demo again)"
echo "               scripts/wine-run.sh build/demo/zendrel-host.exe check build/demo/Zendrel-S.dll"
ls -l "$demo"
