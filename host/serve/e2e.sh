#!/usr/bin/env bash
# End-to-end check of zendrel-host serve under Wine: the plug-in as a
# satellite and a terrestrial copy beside the stand-in board library, served
# on a port of 127.0.0.1 the system picks, read with curl, ffprobe, mpv and a
# headless chromium.
#
#   host/serve/e2e.sh BIN_DIR
#
# Prints one line per check; exits 1 if any failed. Every wait is bounded, and
# every command has a time limit of its own, so that a hang fails in seconds.
set -u

if [ $# -ne 1 ]; then
  echo "usage: $0 BIN_DIR" >&2
  exit 2
fi
bin=$(cd "$1" && pwd) || exit 2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# --foreground: a signal goes to the runner alone, which passes it on as
# Ctrl+C; sent to the whole group, it would end the program at once.
run=(timeout --foreground -k 5 120 "$root/scripts/wine-run.sh")
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

# Starts the server with the options given (listening on $listen, 127.0.0.1
# and a port the system picks unless set); sets base (its URL) and server.
start_server() {
  "${run[@]}" "$bin/zendrel-host.exe" serve "$(win "$tv")" --listen "${listen:-127.0.0.1:0}" "$@" \
    >"$work/out" 2>"$work/err" &
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
  streams=$(timeout 30 ffprobe -v error -show_entries stream=codec_type -of default=nw=1:nk=1 "$base/stream/S/0/0?seconds=3" 2>/dev/null |
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
code 200 "another loopback address, outside --allow: this PC is always served" --interface 127.0.0.2 \
  "$base/api/status"
code 200 "an absurd Range header, ignored" -H 'Range: bytes=99999999999999999999-' "$base/api/status"
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
  check "times shown as clock times" grep -q 'since [0-9][0-9]:[0-9][0-9]:[0-9][0-9];' "$work/page.html"
  check "the playlist linked" grep -q 'href="/playlist.m3u"' "$work/page.html"
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

echo "== a fresh server: HEAD, connections, names and what it answers"
rm -f "$tv/calls.log"
# On every network, so that it names this PC's addresses; the tests still
# talk to 127.0.0.1 only, and --allow turns away any other machine.
listen=0.0.0.0:0 start_server --host tv.example.test --allow 10.0.0.0/8
port=${base##*:}
check "the second server listens" [ -n "$base" ]
[ -n "$base" ] || { cat "$work/err"; finish_checks; }
own=$(hostname -I 2>/dev/null | tr ' ' '\n' | grep -E '^[0-9]+(\.[0-9]+){3}$' | grep -v '^127\.' | head -n 1)
if [ -n "$own" ]; then
  check "on every network: the URL other machines use, in the first lines" \
    grep -q "^zendrel-host: from other machines: .*http://$own:$port/" "$work/err"
fi
check "HEAD of a stream before any list: 200, a stream's type" grep -qi '^Content-Type: video/mp2t' \
  <(curl -s -m 10 -I "$base/stream/S/0/0")
check "... and no copy loaded for it" [ "$(field "$(status)" 'tuners.0.state;tuners.1.state' | tr '\n' ' ')" = "free free " ]

# Writes to a connection serve has closed fail, rather than end this script.
trap '' PIPE
# A raw request on a connection of its own (file descriptor fd), unread.
request() {  # request PATH
  exec {fd}<>"/dev/tcp/127.0.0.1/$port" || return 1
  printf 'GET %s HTTP/1.1\r\nHost: 127.0.0.1:%s\r\n\r\n' "$1" "$port" >&"$fd"
}
# The last 7 bytes of a file: a chunked transfer's proper end is "\r\n0\r\n\r\n".
tail7() { tail -c 7 "$1" | od -An -c | tr -d ' \n'; }

echo "-- a dropped client is cut off, an ended stream is ended"
request "/stream/S/0/1"
dropped=$fd
check "a client that reads nothing is dropped" await server.dropped_clients 1
timeout 20 cat <&"$dropped" >"$work/dropped.raw"
check "... its connection closes" [ $? = 0 ]
exec {dropped}<&-
check "... and its transfer lacks the proper end: a recorder sees it broken" \
  [ "$(stat -c %s "$work/dropped.raw")" -gt 1000000 -a "$(tail7 "$work/dropped.raw")" != '\r\n0\r\n\r\n' ]
request "/stream/S/0/1?seconds=1"
timeout 20 cat <&"$fd" >"$work/ended.raw"
exec {fd}<&-
check "a stream ended by ?seconds= has the proper end" [ "$(tail7 "$work/ended.raw")" = '\r\n0\r\n\r\n' ]

echo "-- idle and slow connections while a client streams"
curl -s -m 30 -o "$work/during.ts" "$base/stream/S/0/0?seconds=6" &
during=$!
await tuners.0.clients 1
held=()
for _ in $(seq 250); do exec {fd}<>"/dev/tcp/127.0.0.1/$port" && held+=("$fd"); done
for fd in "${held[@]:0:50}"; do printf 'GET / HTTP/1.1\r\nHo' >&"$fd"; done 2>/dev/null
check "250 connections held, 50 of them sending a request slowly" [ "${#held[@]}" = 250 ]
slow=0
for _ in 1 2 3 4 5; do
  [ "$(curl -s -m 2 -o /dev/null -w '%{http_code}' "$base/api/status")" = 200 ] || slow=$((slow + 1))
done
check "the API answers at once, every time" [ "$slow" = 0 ]
check "a new stream starts" [ "$(curl -s -m 4 -o "$work/new.ts" -w '%{http_code}' "$base/stream/s/0/0?seconds=1")" = 200 \
  -a "$(stat -c %s "$work/new.ts")" -gt 0 ]
for fd in "${held[@]}"; do exec {fd}<&-; done
wait "$during"
check "the streaming client got its whole stream, properly ended" [ $? = 0 ]
check "... on whole packets" packets "$work/during.ts"

echo "-- Range, names and the request's marks"
curl -s -m 10 -D "$work/range.h" -o /dev/null -H 'Range: bytes=0-' "$base/stream/S/0/0?seconds=1"
check "Range on a stream: ignored, 200 and no Content-Range" \
  [ "$(head -n 1 "$work/range.h" | tr -d '\r')" = "HTTP/1.1 200 OK" -a -z "$(grep -i '^Content-Range' "$work/range.h")" ]
ranges="bytes=$(printf '0-0,%.0s' $(seq 1999))0-0"
plain=$(curl -s -m 10 "$base/" | wc -c)
check "2,000 ranges on the page: 200, the page once" \
  [ "$(curl -s -m 10 -o "$work/ranged" -w '%{http_code}' -H "Range: $ranges" "$base/")" = 200 \
    -a "$(stat -c %s "$work/ranged")" = "$plain" ]
curl -s --http1.0 -m 10 -D "$work/h10.h" -o "$work/h10.ts" "$base/stream/S/0/0?seconds=1"
check "HTTP/1.0: the stream sent plain, without chunks" [ -z "$(grep -i '^Transfer-Encoding' "$work/h10.h")" ]
check "... whole packets" packets "$work/h10.ts"
code 200 "the kind letter in lower case" -o /dev/null "$base/stream/s/0/0?seconds=1"
code 200 "a name in any case" -o /dev/null "$base/stream/S?name=bs1%2Fts0&seconds=1"
check "a near miss: 404 with what was meant" grep -q 'did you mean \\"BS1/TS0\\"' \
  <(curl -s -m 10 "$base/stream/S?name=bs1%2Fts9")
code 421 "a Host that names another server" -H "Host: rebound.example:$port" "$base/api/status"
code 200 "a name given with --host" -H "Host: tv.example.test:$port" "$base/api/status"
check "URLs are built from the Host that was accepted" grep -q "\"url\":\"http://localhost:$port/stream/S/0/0\"" \
  <(curl -s -m 10 -H "Host: localhost:$port" "$base/api/channels")
code 403 "a request a browser marks cross-site" -H 'Sec-Fetch-Site: cross-site' "$base/stream/S/0/0"
code 403 "an Origin of another site" -H 'Origin: http://rebound.example' "$base/api/status"
code 200 "the page's own request" -H 'Sec-Fetch-Site: same-origin' -H "Origin: $base" "$base/api/status"
code 400 "a parameter given twice with one value" "$base/stream/S/0/0?seconds=1&seconds=1"
code 400 "HTTP/1.1 without Host" -H 'Host:' "$base/api/status"
curl -s -m 10 -v -o /dev/null -X POST -H 'Expect: 100-continue' -d x=1 "$base/api/status" 2>"$work/expect"
check "Expect: 100-continue gets the refusal, never 100 Continue" \
  [ -z "$(grep '^< HTTP/1.1 100' "$work/expect")" -a -n "$(grep '^< HTTP/1.1 405' "$work/expect")" ]

echo "-- the playlist in a player"
curl -s -m 20 -o "$work/list.m3u" "$base/playlist.m3u"
check "every channel in the playlist" [ "$(grep -c '^#EXTINF:-1 group-title=' "$work/list.m3u")" = \
  "$(grep -o '"url"' <(curl -s -m 10 "$base/api/channels") | wc -l)" ]
if command -v mpv >/dev/null; then
  # mpv plays the first entry for 25 frames, then quits.
  printf '%s\n' 'mp.register_event("end-file", function(e)' '  if e.reason == "redirect" then return end' \
    '  mp.msg.info("ended: " .. e.reason); mp.command("quit") end)' >"$work/quit.lua"
  timeout 60 mpv --no-config --quiet --vo=null --ao=null --frames=25 --script="$work/quit.lua" \
    "$base/playlist.m3u" >"$work/mpv.log" 2>&1
  check "mpv plays the playlist's first entry: video and audio to its end" \
    [ -n "$(grep "Playing: $base/stream/S/0/0\$" "$work/mpv.log")" -a -n "$(grep 'Video --vid=1' "$work/mpv.log")" \
      -a -n "$(grep 'Audio --aid=1' "$work/mpv.log")" -a -n "$(grep 'ended: eof' "$work/mpv.log")" ]
fi
stop_server
check "the second server exits 0" [ "$rc" = 0 ]

finish_checks
