#!/usr/bin/env bash
# End-to-end check, under Wine, of how zendrel-host meets a tuner that goes
# wrong: serve with a board removed under two clients and with a channel
# whose TS ID the carrier lacks; check --board with no board and with the
# board library where the plug-in does not look; help and a misspelt command.
# The plug-in and the stand-in board library as a host's folder holds them,
# served on a port of 127.0.0.1 the system picks, read with curl.
#
#   tests/host/tuners_e2e.sh BIN_DIR
#
# Prints one line per check; exits 1 if any failed. Every command has a time
# limit of its own.
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

work=$(mktemp -d "${TMPDIR:-/tmp}/zendrel-tuners.XXXXXX")
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
# A plug-in folder: the copies named, the stand-in with the set-up lines given.
folder() {  # folder DIR "COPY..." SETUP-LINES...
  local dir=$1 copies=$2
  shift 2
  mkdir -p "$dir"
  for copy in $copies; do cp "$bin/Zendrel.dll" "$dir/$copy"; done
  cp "$bin/standin/EarthPtDll.dll" "$bin/standin/testpattern.ts" "$dir/"
  printf '%s\r\n' "$@" >"$dir/EarthPtDll-standin.ini"
}
zh() {  # zh SECONDS ARGS...: leaves rc, out and err
  local limit=$1
  shift
  timeout "$limit" "$run" "$bin/zendrel-host.exe" "$@" >"$work/out" 2>"$work/err"
  rc=$?
  out=$(cat "$work/out")
  err=$(cat "$work/err")
}
has() { grep -qF -- "$2" <<<"$1"; }

start_server() {  # start_server FOLDER
  rm -f "$work/serve.err"
  timeout 120 "$run" "$bin/zendrel-host.exe" serve "$(win "$1")" --listen 127.0.0.1:0 --idle-seconds 1 \
    >"$work/serve.out" 2>"$work/serve.err" &
  server=$!
  base=
  for _ in $(seq 100); do
    base=$(sed -n 's|.* at \(http://127\.0\.0\.1:[0-9]*\)/ .*|\1|p' "$work/serve.err" 2>/dev/null)
    [ -n "$base" ] && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.1
  done
}
status() { curl -s -m 5 "$base/api/status"; }
field() {  # field JSON PATHS: the values, one a line
  printf '%s' "$1" >"$work/json"
  timeout 10 cmake -DJSON="$work/json" -DGET="$2" -P "$root/tests/host/json_get.cmake" 2>&1 | sed 's/^[^=]*=//'
}
await() {  # await FIELD VALUE SECONDS
  local until=$(($(date +%s%N) + $3 * 1000000000))
  while [ "$(date +%s%N)" -le "$until" ]; do
    [ "$(field "$(status)" "$1")" = "$2" ] && return 0
    sleep 0.1
  done
  return 1
}
# A transfer cut off: curl ends with an error, but neither its own time limit
# (28) nor success (0, a proper end).
cut_off() { [ "$1" != 0 ] && [ "$1" != 28 ]; }

echo "== a channel whose TS ID the carrier does not carry"
tv="$work/tv"
folder "$tv" "Zendrel-S.dll" '[feeds]' 'satellite 0 0x4010 = testpattern.ts'
printf '%s\r\n' '$BS 0' 'Clip 0 0 0x4010' 'Lacking 0 0 0x4099' >"$tv/Zendrel-S.SetCh.txt"
start_server "$tv"
check "serve: says where it listens" [ -n "$base" ]
[ -n "$base" ] || { cat "$work/serve.err"; finish_checks; }
began=$(date +%s)
curl -s -m 20 -o "$work/lacking.ts" "$base/stream/S/0/1"
lacking=$?
check "its client is cut off, not ended ($lacking)" cut_off "$lacking"
check "... within the bound of 5 s (and some)" [ $(($(date +%s) - began)) -le 9 ]
check "the tuner shows as unavailable, with the reason" \
  [ "$(field "$(status)" 'tuners.0.state')" = unavailable ]
check "... that the channel carries no data" has "$(field "$(status)" 'tuners.0.error')" "carries no data here"
code=$(curl -s -m 10 -o "$work/again.json" -w '%{http_code}' "$base/stream/S/0/1")
check "a new client of that channel: 502 with the reason" \
  eval '[ "$code" = 502 ] && has "$(cat "$work/again.json")" "carries no data here"'
check "another channel plays on the same tuner" \
  [ "$(curl -s -m 10 -o /dev/null -w '%{http_code}' "$base/stream/S/0/0?seconds=1")" = 200 ]
check "the loss is in the log" grep -q 'Zendrel-S.dll lost: S 0/1 (Lacking) carries no data here' "$work/serve.err"
stop_server

echo "== a copy whose tuner another program holds"
other="$work/other"
folder "$other" "Zendrel-S0.dll" '[board]'
pinned="$work/pinned"
folder "$pinned" "Zendrel-S0.dll" '[board]'
timeout 60 "$run" "$bin/zendrel-host.exe" record "$(win "$other/Zendrel-S0.dll")" --space 0 --channel 0 --seconds 6 \
  --out "$(win "$work/holder.ts")" >/dev/null 2>&1 &
holder=$!
for _ in $(seq 100); do [ -s "$work/holder.partial.ts" ] && break; sleep 0.1; done
start_server "$pinned"
channels=$(curl -s -m 20 "$base/api/channels")
held="Zendrel-S0.dll: no satellite tuner this name selects can be opened (Ec1Bs1): another program holds it"
check "/api/channels: why the copy does not load, in check's words" has "$(field "$channels" 'errors.0.error')" "$held"
check "... not the loader's message" eval '! has "$channels" "error 1114"'
code=$(curl -s -m 20 -o "$work/held.json" -w '%{http_code}' "$base/stream/S/0/0")
check "a stream: 503 with the same words" \
  eval '[ "$code" = 503 ] && has "$(cat "$work/held.json")" "another program holds it"'
check "... and so does the log" grep -q 'Zendrel-S0.dll did not load: no satellite tuner .* another program holds it' \
  "$work/serve.err"
stop_server
wait "$holder"

echo "== the board removed under two clients"
folder "$tv" "Zendrel-S.dll" '[feeds]' 'satellite 0 0x4010 = testpattern.ts' '[faults]' 'removed after = 3000'
start_server "$tv"
curl -s -m 30 -o "$work/a.ts" "$base/stream/S/0/0" &
a=$!
curl -s -m 30 -o "$work/b.ts" "$base/stream/S/0/0" &
b=$!
check "both clients stream" await tuners.0.clients 2 10
zh 20 record "$(win "$other/Zendrel-S0.dll")" --space 0 --channel 0 --bytes 100000 --out "$(win "$work/held.ts")"
check "meanwhile record from another folder finds the tuner held" has "$err" "another program holds it"
check "the board is found gone" await tuners.0.state unavailable 10
gone=$(date +%s%N)
check "... with the reason" has "$(field "$(status)" 'tuners.0.error')" "the board was removed or stopped working"
wait "$a"
ra=$?
wait "$b"
rb=$?
check "both clients are cut off ($ra, $rb)" eval 'cut_off "$ra" && cut_off "$rb"'
check "... after what came before" [ "$(stat -c %s "$work/a.ts")" -gt 0 ]
zh 20 record "$(win "$other/Zendrel-S0.dll")" --space 0 --channel 0 --bytes 100000 --out "$(win "$work/free.ts")"
check "the tuner is free: record from another folder takes it" [ "$rc" = 0 ]
check "... within the bound of 5 s" [ $((($(date +%s%N) - gone) / 1000000000)) -le 5 ]
stop_server

echo "== check --board"
none="$work/none"
folder "$none" "Zendrel-S.dll" '[board]' 'boards = 0'
zh 30 check "$(win "$none/Zendrel-S.dll")" --board
check "no board: the verdict says so" has "$out" "the plug-in refuses to load: the board library reports no board"
check "... exit 1" [ "$rc" = 1 ]
apart="$work/apart"
mkdir -p "$apart/tool" "$apart/plugin"
cp "$bin/zendrel-host.exe" "$bin/standin/EarthPtDll.dll" "$apart/tool/"
cp "$bin/Zendrel.dll" "$apart/plugin/Zendrel-S.dll"
timeout 30 "$run" "$apart/tool/zendrel-host.exe" check "$(win "$apart/plugin/Zendrel-S.dll")" --board >"$work/out"
check "board library beside the tool only: check --board says the plug-in will not load" \
  grep -q 'refuses to load: EarthPtDll.dll, the board library, is neither beside the plug-in' "$work/out"
timeout 30 "$run" "$apart/tool/zendrel-host.exe" list "$(win "$apart/plugin/Zendrel-S.dll")" 2>"$work/err" >/dev/null
check "... and so does list, whose load fails" \
  grep -q 'likely cause: EarthPtDll.dll, the board library, is neither' "$work/err"

echo "== help"
zh 30 record --help
check "record --help: its usage, exit 0" eval '[ "$rc" = 0 ] && has "$out" "usage: zendrel-host record"'
zh 30 recrod x.dll
check "a misspelt command: one line with a suggestion, exit 2" \
  eval '[ "$rc" = 2 ] && [ "$err" = "zendrel-host: unknown command \"recrod\"; did you mean \"record\"?" ]'

finish_checks
