#!/usr/bin/env bash
# End-to-end check of zendrel-host serve under Wine: the plug-in as a
# satellite and a terrestrial copy beside the stand-in board library, served
# on a port of 127.0.0.1 the system picks, read with curl, ffprobe and a
# headless chromium.
#
#   host/serve/e2e.sh BIN_DIR
#
# Prints one line per check; exits 1 if any failed. Every wait is bounded.
set -u

if [ $# -ne 1 ]; then
  echo "usage: $0 BIN_DIR" >&2
  exit 2
fi
bin=$(cd "$1" && pwd) || exit 2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
run="$root/scripts/wine-run.sh"
for f in "$bin/zendrel-host.exe" "$bin/Zendrel.dll" "$bin/standin/EarthPtDll.dll" "$bin/standin/testpattern.ts"; do
  [ -f "$f" ] || { echo "missing $f" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zendrel-serve.XXXXXX")
server=
stop_server() {
  [ -n "$server" ] || return 0
  kill -TERM "$server" 2>/dev/null
  for _ in $(seq 100); do kill -0 "$server" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  rc=$?
  server=
}
trap 'stop_server; rm -rf "$work"' EXIT

. "$root/tests/checks.sh"

# One satellite and one terrestrial copy. BS channel 0 plays the clip at its
# own rate; the other satellite channels are generated at 8 MB/s, so that a
# client that stops reading falls behind soon. Every board call is logged.
tv="$work/tv"
mkdir -p "$tv"
cp "$bin/Zendrel.dll" "$tv/Zendrel-S.dll"
cp "$bin/Zendrel.dll" "$tv/Zendrel-T.dll"
cp "$bin/standin/EarthPtDll.dll" "$bin/standin/testpattern.ts" "$tv/"
printf '%s\r\n' '[board]' 'satellite rate = 8000000' '[feeds]' 'satellite 0 0x4010 = testpattern.ts' \
  '[log]' 'file = calls.log' >"$tv/EarthPtDll-standin.ini"
win() { local p=${1//\//\\}; echo "Z:$p"; }

# Starts the server with the options given; sets base (its URL) and server.
start_server() {
  "$run" "$bin/zendrel-host.exe" serve "$(win "$tv")" --listen 127.0.0.1:0 "$@" >"$work/out" 2>"$work/err" &
  server=$!
  base=
  for _ in $(seq 100); do
    base=$(sed -n 's|.* at \(http://127\.0\.0\.1:[0-9]*\)/ .*|\1|p' "$work/err")
    [ -n "$base" ] && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
  done
}
status() { curl -s -m 10 "$base/api/status"; }
# A JSON field of a document, "path=value" (see tests/host/json_get.cmake).
field() {
  printf '%s' "$1" >"$work/json"
  cmake -DJSON="$work/json" -DGET="$2" -P "$root/tests/host/json_get.cmake" 2>&1 | sed 's/^[^=]*=//'
}
# Waits up to 10 s (or SECONDS) for the status field to hold the value.
await() {  # await FIELD VALUE [SECONDS]
  local until
  until=$(($(date +%s%N) + ${3:-10} * 1000000000))
  while [ "$(date +%s%N)" -le "$until" ]; do
    [ "$(field "$(status)" "$1")" = "$2" ] && return 0
    sleep 0.05
  done
  return 1
}
tunes() { grep -c 'PtDllSetFrequency' "$tv/calls.log" 2>/dev/null || echo 0; }
packets() {  # over 10 packets, each starting with 0x47 from the first byte on
  od -An -v -tx1 -w188 "$1" | awk '$1 != "47" { bad = 1 } END { exit bad || NR < 10 }'
}

start_server --idle-seconds 2 --allow 127.0.0.1 --max-clients 4
check "serve: says where it listens" [ -n "$base" ]
[ -n "$base" ] || { cat "$work/err"; finish_checks; }

echo "== two clients of one channel"
curl -s -m 20 -o "$work/a.ts" "$base/stream/S/0/0?seconds=3" &
a=$!
curl -s -m 20 -o "$work/b.ts" "$base/stream/S/0/0?seconds=3" &
b=$!
await tuners.0.clients 2
check "status: one tuner with two clients" [ "$(field "$(status)" 'tuners.0.state;tuners.0.clients;tuners.0.channel_name;tuners.1.state' | tr '\n' ' ')" = "streaming 2 BS1/TS0 free " ]
check "status: both clients listed" [ "$(field "$(status)" 'clients.0.address;clients.1.channel' | tr '\n' ' ')" = "127.0.0.1 0 " ]
curl -s -m 10 -o "$work/busy.json" -w '%{http_code}' "$base/stream/S/0/1" >"$work/code"
check "another channel, every satellite copy busy: 503" [ "$(cat "$work/code")" = 503 ]
check "the 503 says which channel is served" [ "$(field "$(cat "$work/busy.json")" 'serving.0.channel_name;serving.0.clients' | tr '\n' ' ')" = "BS1/TS0 2 " ]
wait "$a"
ra=$?
wait "$b"
rb=$?
check "both streams end after ?seconds=3" [ "$ra" = 0 -a "$rb" = 0 ]
check "both are whole packets from the first byte on" packets "$work/a.ts"
check "... the second too" packets "$work/b.ts"
check "one tune for both" [ "$(tunes)" = 1 ]
if command -v ffprobe >/dev/null; then
  streams=$(ffprobe -v error -show_entries stream=codec_type -of default=nw=1:nk=1 "$base/stream/S/0/0?seconds=3" 2>/dev/null |
    grep -xE 'audio|video' | sort -u | tr '\n' ' ')
  check "ffprobe on the clip's URL finds audio and video" [ "$streams" = "audio video " ]
fi

echo "== a client that stops reading"
curl -s -m 30 --limit-rate 20k -o /dev/null "$base/stream/S/0/1" &
slow=$!
await tuners.0.clients 1
curl -s -m 30 -o "$work/fast.ts" "$base/stream/S/0/1?seconds=4" &
fast=$!
check "the slow client is dropped" await server.dropped_clients 1
wait "$fast"
check "the other stream goes on to its end" [ $? = 0 ]
check "... at the channel's rate (over 2 of its 4 seconds)" [ "$(stat -c %s "$work/fast.ts")" -gt 16000000 ]
check "... on whole packets" packets "$work/fast.ts"
wait "$slow"
check "the dropped client's transfer is cut off" [ $? != 0 ]
check "the second channel cost one more tune" [ "$(tunes)" = 2 ]

echo "== released after the last client"
check "the copy is released within the idle seconds plus one" await tuners.0.state free 3
check "the stand-in saw the tuner closed" grep -q 'PtDllClose' "$tv/calls.log"
check "the side files were written at release" [ -f "$tv/Zendrel-S.SetCh.txt" -a -f "$tv/Zendrel-ST.ini" ]

echo "== refusals"
code() {  # code EXPECTED DESCRIPTION CURL-ARGS...
  local expected=$1 what=$2
  shift 2
  check "$what: $expected" [ "$(curl -s -m 10 -o /dev/null -w '%{http_code}' "$@")" = "$expected" ]
}
code 404 "unknown path" "$base/nothing"
code 404 "unknown kind" "$base/stream/X/0/0"
code 404 "no such channel" "$base/stream/S/0/999"
code 404 "no such name" "$base/stream/S?name=NoSuch"
code 400 "space not a number" "$base/stream/S/zero/0"
code 400 "seconds not a number" "$base/stream/S/0/0?seconds=soon"
code 400 "a name with no name" "$base/stream/S?name="
code 400 "malformed request line" --request-target 'no spaces allowed' "$base/"
code 400 "a header line past 8 KB" -H "X-Big: $(head -c 9000 /dev/zero | tr '\0' a)" "$base/api/status"
# Past the 16 KB a request may send, the connection may close before the
# answer is read.
filler=$(head -c 6000 /dev/zero | tr '\0' a)
check "headers past 16 KB in all: refused" grep -qxE '400|000' \
  <(curl -s -m 10 -o /dev/null -w '%{http_code}' -H "X-1: $filler" -H "X-2: $filler" -H "X-3: $filler" "$base/api/status")
code 405 "POST" -X POST -d x=1 "$base/api/status"
code 403 "an address not allowed" --interface 127.0.0.2 "$base/api/status"
code 416 "an absurd Range header, answered" -H 'Range: bytes=99999999999999999999-' "$base/api/status"
code 200 "... and the server still serves" "$base/api/status"
code 200 "HEAD of a stream, no tune" -I "$base/stream/T/0/0"
check "HEAD tuned nothing" [ "$(tunes)" = 2 ]

echo "== the status page in a browser"
if command -v chromium >/dev/null; then
  timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-background-networking \
    --disable-component-update --disable-sync --no-first-run --user-data-dir="$work/chromium" \
    --virtual-time-budget=10000 --enable-logging=stderr --v=0 --dump-dom "$base/" >"$work/page.html" 2>"$work/chromium.log"
  check "the page ran its script and showed a status" grep -q '<body data-state="live"' "$work/page.html"
  check "a row per tuner" [ "$(grep -o '<td>Zendrel-[ST].dll</td>' "$work/page.html" | wc -l)" = 2 ]
  check "no script error" [ -z "$(grep -E 'data-script-error|CONSOLE.*(Uncaught|Error)' "$work/page.html" "$work/chromium.log")" ]
fi

echo "== Ctrl+C (SIGTERM) with a stream running"
curl -s -m 30 -o "$work/c.ts" "$base/stream/S/0/0" &
c=$!
await tuners.0.clients 1
closes=$(grep -c 'PtDllClose' "$tv/calls.log")
stop_server
check "serve exits 0" [ "$rc" = 0 ]
wait "$c"
check "the client's stream is ended" [ $? = 0 ]
check "every copy released" [ "$(grep -c 'PtDllClose' "$tv/calls.log")" -gt "$closes" ]
check "the summary" grep -q '^clients served: [0-9]*, dropped: 1, refused: 1$' "$work/out"

finish_checks
