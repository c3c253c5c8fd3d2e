#!/usr/bin/env bash
# The network plug-in against a real zendrel-host serve under Wine: serve
# (32-bit, with the tuner plug-in as two satellite tuners beside the stand-in
# board library) runs in the Wine prefix of the tree under test; that tree's
# net_plugin_tests share its tuners and are refused (ServeNet.*), and that
# tree's zendrel-host records a channel through Zendrel-Net.dll. The
# recording must play (ffprobe finds its video and audio), be whole packets
# with no continuity error, and hold every byte serve sent that client, as
# serve's log counts them when it stops.
#
#   tests/netdll/net_e2e.sh BIN_DIR SERVE_BIN_DIR
#
# Prints one line per check; exits 1 if any failed. Every wait is bounded.
set -u
bin=$(cd "${1:?usage: $0 BIN_DIR SERVE_BIN_DIR}" && pwd) || exit 2
serve_bin=$(cd "${2:?usage: $0 BIN_DIR SERVE_BIN_DIR}" && pwd) || exit 2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
run="$root/scripts/wine-run.sh"
. "$root/scripts/wine-env.sh"
for f in "$bin/zendrel-host.exe" "$bin/Zendrel-Net.dll" "$bin/net_plugin_tests.exe" "$serve_bin/zendrel-host.exe" \
  "$serve_bin/Zendrel.dll" "$serve_bin/standin/EarthPtDll.dll" "$serve_bin/standin/testpattern.ts"; do
  [ -f "$f" ] || { echo "missing $f" >&2; exit 2; }
done
# serve runs beside the programs under test, in their prefix.
export ZENDREL_WINE_BITS
ZENDREL_WINE_BITS=$(zendrel_wine_bits_of "$bin/net_plugin_tests.exe")

work=$(mktemp -d "${TMPDIR:-/tmp}/zendrel-net.XXXXXX")
server=
stop_server() {
  [ -n "$server" ] || return 0
  kill -TERM "$server" 2>/dev/null
  for _ in $(seq 100); do kill -0 "$server" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  server=
}
trap 'stop_server; rm -rf "$work"' EXIT

. "$root/tests/checks.sh"
win() { local p=${1//\//\\}; echo "Z:$p"; }

# Two satellite tuners; BS channel 0 plays the clip, the others are generated.
tv="$work/tv"
mkdir -p "$tv"
cp "$serve_bin/Zendrel.dll" "$tv/Zendrel-S0.dll"
cp "$serve_bin/Zendrel.dll" "$tv/Zendrel-S1.dll"
cp "$serve_bin/standin/EarthPtDll.dll" "$serve_bin/standin/testpattern.ts" "$tv/"
printf '%s\r\n' '[board]' 'satellite rate = 3000000' '[feeds]' 'satellite 0 0x4010 = testpattern.ts' \
  >"$tv/EarthPtDll-standin.ini"

"$run" "$serve_bin/zendrel-host.exe" serve "$(win "$tv")" --listen 127.0.0.1:0 --idle-seconds 1 \
  >"$work/out" 2>"$work/err" &
server=$!
port=
for _ in $(seq 150); do
  port=$(sed -n 's|.* at http://127\.0\.0\.1:\([0-9]*\)/ .*|\1|p' "$work/err")
  [ -n "$port" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
check "serve: says where it listens" [ -n "$port" ]
[ -n "$port" ] || { cat "$work/err"; finish_checks; }

echo "== hosts of $ZENDREL_WINE_BITS bits sharing serve's two tuners"
ZENDREL_SERVE_PORT=$port timeout 120 "$run" "$bin/net_plugin_tests.exe" --gtest_filter='ServeNet.*' \
  >"$work/tests" 2>&1
check "net_plugin_tests ServeNet.*" [ $? = 0 ]
grep -q '\[  PASSED  \] 1 test' "$work/tests" || cat "$work/tests"

echo "== zendrel-host ($ZENDREL_WINE_BITS bits) recording through the network plug-in"
host="$work/host"
mkdir -p "$host"
cp "$bin/Zendrel-Net.dll" "$host/"
printf '%s\r\n' '[Servers]' "Server1=http://127.0.0.1:$port/" >"$host/Zendrel-Net.ini"
# Let serve release the tuners of the tests first.
sleep 2
# In the 64-bit prefix, a 32-bit host records the same channel at the same
# time, through the 32-bit plug-in: the two hosts share one tuner.
recorder32=
logged=$(wc -l <"$work/err")
if [ "$ZENDREL_WINE_BITS" = 64 ] && [ -f "$serve_bin/Zendrel-Net.dll" ]; then
  mkdir -p "$work/host32"
  cp "$serve_bin/Zendrel-Net.dll" "$host/Zendrel-Net.ini" "$work/host32/"
  timeout 60 "$run" "$serve_bin/zendrel-host.exe" record "$(win "$work/host32/Zendrel-Net.dll")" --space 0 \
    --channel 0 --seconds 6 --out "$(win "$work/bs32.ts")" >"$work/record32" 2>&1 &
  recorder32=$!
fi
timeout 60 "$run" "$bin/zendrel-host.exe" record "$(win "$host/Zendrel-Net.dll")" --space 0 --channel 0 \
  --seconds 6 --out "$(win "$work/bs.ts")" >"$work/record" 2>"$work/record.err" &
recorder=$!
# serve stops while the recording runs: every stream gets its proper end,
# and serve counts what it sent.
sleep 4
stop_server
wait "$recorder"
rc=$?
[ -z "$recorder32" ] || wait "$recorder32"
check "record: exit 0, or 5 for the gap after serve stopped" [ "$rc" = 0 -o "$rc" = 5 ]
# What serve sent each client that left, as it counts it: one of them is this
# recording's.
sent=$(sed -n 's/.* 127\.0\.0\.1 left .* after \([0-9]*\) bytes$/\1/p' "$work/err" | tr '\n' ' ')
size=$(stat -c %s "$work/bs.ts" 2>/dev/null || echo 0)
check "the file holds every byte serve sent that client ($size; serve sent: $sent)" grep -qw "$size" <<<"$sent"
check "a thousand packets at least" [ "$size" -ge 188000 ]
if [ -n "$recorder32" ]; then
  check "a 32-bit and a 64-bit host shared one tuner" \
    sh -c "tail -n +$((logged + 1)) '$work/err' | grep -q ' joined .* (2 clients)\$'"
  check "the 32-bit host's recording: no continuity error, a thousand packets at least" \
    sh -c "grep -qx 'continuity errors: 0' '$work/record32' && [ \$(stat -c %s '$work/bs32.ts') -ge 188000 ]"
  check "the 32-bit host's file holds every byte serve sent it" grep -qw "$(stat -c %s "$work/bs32.ts")" <<<"$sent"
fi
check "record: no continuity error" grep -qx 'continuity errors: 0' "$work/record"
check "whole packets from the first byte on" \
  sh -c "od -An -v -tx1 -w188 '$work/bs.ts' | awk '\$1 != \"47\" { bad = 1 } END { exit bad || NR < 10 }'"
if command -v ffprobe >/dev/null; then
  streams=$(ffprobe -v error -show_entries stream=codec_type -of default=nw=1:nk=1 "$work/bs.ts" 2>/dev/null |
    grep -xE 'audio|video' | sort -u | tr '\n' ' ')
  check "ffprobe finds the clip's audio and video" [ "$streams" = "audio video " ]
fi
finish_checks
