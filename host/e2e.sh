#!/usr/bin/env bash
# End-to-end check of zendrel-host against the real plug-in and the stand-in
# board library, under Wine.
#
#   host/e2e.sh BIN_DIR
#
# BIN_DIR holds zendrel-host.exe, Zendrel.dll and standin/EarthPtDll.dll (the
# build's bin/). The plug-in is laid out in a temporary folder as
# Zendrel-S.dll and Zendrel-T.dll beside EarthPtDll.dll, as a host's folder
# would hold them. Prints one line per check; exits 1 if any failed.
set -u

if [ $# -ne 1 ]; then
  echo "usage: $0 BIN_DIR" >&2
  exit 2
fi
bin=$(cd "$1" && pwd) || exit 2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Every command has a time limit of its own, so that a hang fails in seconds.
# --foreground: a signal goes to the runner alone, which passes it on as
# Ctrl+C; sent to the whole group, it would end the program at once.
runner="$root/scripts/wine-run.sh"
run=(timeout --foreground -k 5 30 "$runner")
host="$bin/zendrel-host.exe"
for f in "$host" "$bin/Zendrel.dll" "$bin/standin/EarthPtDll.dll"; do
  [ -f "$f" ] || { echo "missing $f" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zendrel-e2e.XXXXXX")
# A folder made read-only (immutable, which holds even for root) below.
trap 'chattr -i "$work/readonly" 2>/dev/null; rm -rf "$work"' EXIT
# A folder name outside ASCII: paths must reach the plug-in as UTF-16.
plugins="$work/プラグイン"
mkdir -p "$plugins"
cp "$bin/Zendrel.dll" "$plugins/Zendrel-S.dll"
cp "$bin/Zendrel.dll" "$plugins/Zendrel-T.dll"
cp "$bin/standin/EarthPtDll.dll" "$plugins/"

win() { local p=${1//\//\\}; echo "Z:$p"; }
S=$(win "$plugins/Zendrel-S.dll")
T=$(win "$plugins/Zendrel-T.dll")

. "$root/tests/checks.sh"
# Runs zendrel-host within run's time limit; leaves its exit status in rc,
# output in out and err.
zh() {
  "${run[@]}" "$host" "$@" >"$work/out" 2>"$work/err"
  rc=$?
  out=$(cat "$work/out")
  err=$(cat "$work/err")
}
has() { grep -qF -- "$2" <<<"$1"; }
lacks() { ! grep -qF -- "$2" <<<"$1"; }
line() { grep -qE -- "$2" <<<"$1"; }
value() { sed -n "s/^$1: //p" <<<"$out" | head -n 1; }
size() { stat -c %s "$1" 2>/dev/null || echo -1; }
# JSON fields of $out, "path=value" a line (see tests/host/json_get.cmake).
json() {
  printf '%s' "$out" >"$work/json"
  cmake -DJSON="$work/json" -DGET="$1" -P "$root/tests/host/json_get.cmake" 2>&1
}
has_fields() { json "$1" >/dev/null; }
# Runs zendrel-host in a process group of its own until it has recorded a
# while, then sends the signal: INT-group to the whole group, as a terminal's
# Ctrl+C does; TERM or INT to the runner only, as kill does (started in the
# background by a script, the runner is handed SIGINT ignored). Leaves rc,
# out and err like zh.
interrupt() {  # interrupt HOW ARGS...
  local how=$1
  shift
  setsid "${run[@]}" "$host" "$@" >"$work/out" 2>"$work/err" &
  local pid=$!
  sleep 3
  if [ "$how" = INT-group ]; then
    kill -INT -- "-$pid" 2>/dev/null
  else
    kill "-$how" "$pid" 2>/dev/null
  fi
  wait "$pid"
  rc=$?
  out=$(cat "$work/out")
  err=$(cat "$work/err")
}

echo "== list"
zh list "$S"
check "list satellite: exit 0" [ "$rc" = 0 ]
check "list satellite: tuner name" line "$out" '^tuner: .+'
check "list satellite: space 0 is BS" has "$out" "space 0: BS"
check "list satellite: space 1 is CS110" has "$out" "space 1: CS110"
check "list satellite: channel 0 listed" line "$out" '^  0: .+'
zh list "$T"
check "list terrestrial: exit 0" [ "$rc" = 0 ]
check "list terrestrial: space 0 listed" line "$out" '^space 0: .+'
check "list terrestrial: output is UTF-8" iconv -f UTF-8 -t UTF-8 "$work/out" -o /dev/null

echo "== record"
ts="$work/録画 BS0.ts"
zh record "$S" --space 0 --channel 0 --seconds 2 --out "$(win "$ts")"
echo "$out" | sed 's/^/      /'
check "record 2 s: exit 0" [ "$rc" = 0 ]
check "record 2 s: continuity errors 0" [ "$(value 'continuity errors')" = 0 ]
check "record 2 s: sync losses 0" line "$out" '^sync losses: 0 '
check "record 2 s: TS ID 0x4010" [ "$(value 'TS ID')" = 0x4010 ]
check "record 2 s: nothing scrambled" [ "$(value 'scrambled packets')" = 0 ]
check "record 2 s: file holds the bytes reported" [ "$(size "$ts")" = "$(value bytes)" ]
check "record 2 s: over a second's worth of stream" [ "$(size "$ts")" -gt 3000000 ]
check "record 2 s: no progress line when stderr is a file" [ -z "$err" ]

ts2="$work/bytes.ts"
zh record "$S" --space 0 --channel 1 --bytes 100000 --out "$(win "$ts2")"
check "record --bytes: exit 0" [ "$rc" = 0 ]
check "record --bytes: file is exactly 100000 bytes" [ "$(size "$ts2")" = 100000 ]
check "record --bytes: TS ID 0x4011" [ "$(value 'TS ID')" = 0x4011 ]

echo "== scan"
found="$work/found.SetCh.txt"
zh scan "$S" --write-channels "$(win "$found")"
check "scan: exit 0" [ "$rc" = 0 ]
check "scan: BS channel 0 tuned with TS ID 0x4010" line "$out" '^ +0 +0 +yes +[0-9.]+ +0x4010 '
check "scan: a row for CS110" line "$out" '^ +1 +0 +yes '
check "scan: a summary line" line "$out" '^scan: 25 channels, [0-9]+ tuned, '
check "scan: the channel file written" has "$out" "channel file written: "
# The file scan wrote, as the channel file of a copy of its own.
mkdir -p "$work/rescanned"
cp "$bin/Zendrel.dll" "$work/rescanned/Zendrel-S.dll"
cp "$bin/standin/EarthPtDll.dll" "$work/rescanned/"
cp "$found" "$work/rescanned/Zendrel-S.SetCh.txt"
zh check "$(win "$work/rescanned/Zendrel-S.dll")"
check "scan's channel file: check finds nothing wrong" [ "$rc" = 0 ]
zh list "$(win "$work/rescanned/Zendrel-S.dll")"
check "scan's channel file: lists what scan found" line "$out" '^  0: BS1/TS0$'

echo "== tuning by name"
zh record "$S" --channel BS1/TS1 --bytes 100000 --out "$(win "$work/byname.ts")"
check "--channel BS1/TS1: exit 0" [ "$rc" = 0 ]
check "--channel BS1/TS1: that channel tuned" [ "$(value 'TS ID')" = 0x4011 ]
zh record "$S" --channel NoSuch --bytes 1000 --out "$(win "$work/none.ts")"
check "--channel NoSuch: exit 1, says so" [ "$rc" = 1 ]
check "--channel NoSuch: says so" has "$err" 'no channel is named "NoSuch"'

echo "== check"
edited="$work/edited"
mkdir -p "$edited"
cp "$bin/Zendrel.dll" "$edited/Zendrel-S.dll"
cp "$bin/standin/EarthPtDll.dll" "$edited/"
printf '$BS 0\r\nA 0 1\r\nB 0 four 0x4011\r\n$CS 110\r\nC 0 2 0x4030' >"$edited/Zendrel-S.SetCh.txt"
printf 'kept\r\n' >"$edited/Zendrel-S..SetCh.txt"
before=$(cd "$edited" && ls -l --time-style=full-iso && md5sum ./*)
zh check "$(win "$edited/Zendrel-S.dll")" --board
check "check, edited file: exit 1" [ "$rc" = 1 ]
check "check: TS ID missing on line 2" line "$out" '^  line 2: dropped: a satellite row needs its TS ID'
check "check: four on line 3" has "$out" 'the PT channel "four" is not a number: read as 0'
check "check: \$CS 110 on line 4" line "$out" '^  line 4: dropped: \$CS is not a band keyword'
check "check: no line end on line 5" line "$out" '^  line 5: dropped: no line end'
check "check --board: the tuner it takes" has "$out" "tuner Ec1Bs1: free, this copy takes it"
check "check: changes nothing, renames nothing" [ "$(cd "$edited" && ls -l --time-style=full-iso && md5sum ./*)" = "$before" ]
zh check "$S"
check "check, built-in list: exit 0" [ "$rc" = 0 ]
cp "$bin/Zendrel.dll" "$edited/Zendrel-S5.dll"
zh check "$(win "$edited/Zendrel-S5.dll")" --board
check "check --board, digit beyond the boards: exit 1" [ "$rc" = 1 ]
check "check --board, digit beyond the boards: says why" has "$out" "tuner digit 5 selects board 3, tuner 2"

echo "== JSON"
zh list "$S" --json
check "list --json: shape" [ "$(json 'command;ok;spaces.1.name;spaces.0.channels.1.name')" = \
  "$(printf 'command=list\nok=true\nspaces.1.name=CS110\nspaces.0.channels.1.name=BS1/TS1')" ]
zh record "$S" --space 0 --channel 0 --bytes 1000 --out "$(win "$work/j.ts")" --json
check "record --json: shape" has_fields \
  'ok;outcome;error;file;start;end;bytes;average_mbps;peak_mbps;ts_id;partial_packet_bytes;pids.0.pid;signal_db.min'
check "record --json: values" has "$(json 'ok;bytes;ts_id')" "$(printf 'ok=true\nbytes=1000\nts_id=16400')"
zh check "$(win "$edited/Zendrel-S.dll")" --json
check "check --json: shape" has "$(json 'ok;dropped;lines.1.line;lines.1.reason;lines.2.problems.0.code')" \
  "$(printf 'ok=false\ndropped=3\nlines.1.line=2\nlines.1.reason=ts_id_missing\nlines.2.problems.0.code=not_a_number')"
printf '$UHF 0\r\n13ch 0 0\r\n' >"$work/rescanned/Zendrel-T.SetCh.txt"
cp "$bin/Zendrel.dll" "$work/rescanned/Zendrel-T.dll"
zh scan "$(win "$work/rescanned/Zendrel-T.dll")" --json
check "scan --json: shape" line "$(json 'ok;channels.0.name;channels.0.tuned;channel_file' | tr '\n' ' ')" \
  '^ok=true channels.0.name=13ch channels.0.tuned=(true|false) channel_file=null $'

echo "== interruption"
for signal in INT-group TERM INT; do
  ts3="$work/interrupted-$signal.ts"
  interrupt "$signal" record "$S" --space 0 --channel 0 --seconds 60 --out "$(win "$ts3")"
  kept="$work/interrupted-$signal.partial.ts"
  check "SIG$signal: exit 130" [ "$rc" = 130 ]
  check "SIG$signal: says it was interrupted" has "$err" "interrupted"
  check "SIG$signal: summary printed" [ "$(value outcome)" = interrupted ]
  check "SIG$signal: nothing under the target's name" [ ! -e "$ts3" ]
  check "SIG$signal: what was received is kept as .partial.ts" [ "$(size "$kept")" -gt 0 ]
  check "SIG$signal: that file holds the bytes reported" [ "$(size "$kept")" = "$(value bytes)" ]
done

echo "== refusal and --force"
keep="$work/keep.ts"
echo "keep me" >"$keep"
zh record "$S" --space 0 --channel 0 --bytes 1000 --out "$(win "$keep")"
check "existing --out: exit 1" [ "$rc" = 1 ]
check "existing --out: says to give --force" has "$err" "--force"
check "existing --out: untouched" [ "$(cat "$keep")" = "keep me" ]
zh record "$S" --space 99 --channel 0 --seconds 1 --force --out "$(win "$keep")"
check "--force, space 99: exit 1" [ "$rc" = 1 ]
check "--force, space 99: says so" has "$err" "no space 99"
check "--force, failed run: existing file untouched" [ "$(cat "$keep")" = "keep me" ]
check "--force, failed run: no empty partial file left" [ ! -e "$work/keep.partial.ts" ]
zh record "$S" --space 0 --channel 0 --bytes 100000 --force --out "$(win "$keep")"
check "--force: exit 0" [ "$rc" = 0 ]
check "--force: file replaced by the recording" [ "$(size "$keep")" = 100000 ]
echo "keep me" >"$work/channels.txt"
zh scan "$S" --write-channels "$(win "$work/channels.txt")"
check "scan --write-channels to an existing file: exit 1, untouched" \
  [ "$rc" = 1 -a "$(cat "$work/channels.txt")" = "keep me" ]

echo "== standard output"
"${run[@]}" "$host" record "$S" --space 0 --channel 1 --bytes 100000 --out - >"$work/stdout.ts" 2>"$work/err"
rc=$?
out=$(cat "$work/err")
check "--out -: exit 0" [ "$rc" = 0 ]
check "--out -: exactly the stream on stdout" [ "$(size "$work/stdout.ts")" = 100000 ]
check "--out -: summary on stderr" [ "$(value bytes)" = 100000 -a "$(value 'TS ID')" = 0x4011 ]
check "--out -: a partial packet at the end is put down to --bytes" \
  line "$(value 'partial packet at the end')" '^[0-9]+ bytes \(--bytes ended''
"${run[@]}" "$host" record "$S" --space 0 --channel 1 --bytes 1000 --out - --json 2>"$work/err" | cat >/dev/null
out=$(cat "$work/err")
check "--out - --json: the object on stderr" has "$(json bytes)" "bytes=1000"

echo "== faults the stand-in injects, as the recording counts them"
# A folder of its own: the set-up file beside the stand-in is read at load.
# Faults start 2,000 packets after the tune, well after the tool's purge.
faults="$work/faults"
mkdir -p "$faults"
cp "$bin/Zendrel.dll" "$faults/Zendrel-S.dll"
cp "$bin/standin/EarthPtDll.dll" "$faults/"
fault_runs=0
fault_record() {  # fault_record FAULT-LINES...
  printf '[faults]\r\n' >"$faults/EarthPtDll-standin.ini"
  printf '%s\r\n' "$@" >>"$faults/EarthPtDll-standin.ini"
  fault_runs=$((fault_runs + 1))
  zh record "$(win "$faults/Zendrel-S.dll")" --space 0 --channel 0 --seconds 1 --out "$(win "$work/faults$fault_runs.ts")"
}
fault_record "lost packets = 5 every 1000 after 2000" "scrambled = 7 every 1000 after 2500"
check "5 lost packets: 5 continuity errors" [ "$(value 'continuity errors')" = 5 ]
check "7 scrambled packets: 7 counted" [ "$(value 'scrambled packets')" = 7 ]
check "lost and scrambled packets: no sync loss" line "$out" '^sync losses: 0 '
fault_record "transport errors = 6 every 1000 after 2000" "lost bytes = 4 every 1000 after 2500"
check "6 transport errors: 6 counted" [ "$(value 'transport errors')" = 6 ]
check "4 packets short of 100 bytes: 4 sync losses" line "$out" '^sync losses: 4 '
check "short packets: a partial packet at the end is put down to them" \
  line "$(value 'partial packet at the end')" '^(none|[0-9]+ bytes \(the stream lost bytes)'

echo "== record's outcomes: no data, a removed device, a signal drop"
# Each over an existing file with --force: only a recording that received
# data may replace it.
good="$work/good.ts"
outcome_record() {  # outcome_record FAULT-LINE SECONDS CHANNEL [--json]
  printf '[faults]\r\n%s\r\n' "$1" >"$faults/EarthPtDll-standin.ini"
  echo "a good recording" >"$good"
  rm -f "$work/good.partial.ts"
  zh record "$(win "$faults/Zendrel-S.dll")" --channel "$3" --seconds "$2" --force --out "$(win "$good")" "${@:4}"
}
# BS1/TS0 on PT channel 0 carries 0x4010; CS110's ND2 carries 0x6020, so a
# row asking PT channel 0 for 0x4999 receives nothing.
printf '$BS 0\r\n$CS110 1\r\nBS1/TS0 0 0 0x4010\r\nDead 0 0 0x4999\r\n' >"$faults/Zendrel-S.SetCh.txt"
outcome_record "" 2 Dead --json
check "no data: exit 3" [ "$rc" = 3 ]
check "no data: says so, with no file" has "$(json 'ok;code;outcome;file')" \
  "$(printf 'ok=false\ncode=no_data\noutcome=no_data\nfile=null')"
check "no data: the existing file survives --force" [ "$(cat "$good")" = "a good recording" ]
check "no data: no partial file either" [ ! -e "$work/good.partial.ts" ]
outcome_record "removed after = 1500" 5 BS1/TS0
check "removed device: exit 4" [ "$rc" = 4 ]
check "removed device: said first, before any figure" line "$(head -n 1 <<<"$out")" '^outcome: device lost: the board library reports 0 board'
check "removed device: what was received kept as .partial.ts" [ "$(size "$work/good.partial.ts")" = "$(value bytes)" ]
check "removed device: over a second's worth kept" [ "$(size "$work/good.partial.ts")" -gt 3000000 ]
check "removed device: the existing file survives --force" [ "$(cat "$good")" = "a good recording" ]
check "removed device: stopped soon after" [ "$(value seconds | cut -d. -f1)" -lt 4 ]
outcome_record "signal drop = 1500 after 1000" 4 BS1/TS0
check "signal drop: exit 5" [ "$rc" = 5 ]
check "signal drop: said first" line "$(head -n 1 <<<"$out")" '^outcome: gaps: 1 gap'
check "signal drop: the gap with its time and length" line "$out" '^warning: the stream stopped at [01]\.[0-9]+ s \([0-9:]+\), for 1\.[0-9]+ s$'
check "signal drop: the stretch without signal" line "$out" '^warning: no signal at [01]\.[0-9]+ s \([0-9:]+\), for [12]\.[0-9]+ s$'
check "signal drop: recorded to the end under the name asked for" [ "$(size "$good")" = "$(value bytes)" ]
rm -f "$faults/Zendrel-S.SetCh.txt"

echo "== a channel fed from the clip"
clip="$work/clip"
mkdir -p "$clip"
cp "$bin/Zendrel.dll" "$clip/Zendrel-S.dll"
cp "$bin/standin/EarthPtDll.dll" "$bin/standin/testpattern.ts" "$clip/"
# Played at 1 MB/s, five times its own rate, so that two seconds hold
# several passes through the file.
printf '[feeds]\r\nsatellite 0 0x4010 = testpattern.ts 1000000\r\n' >"$clip/EarthPtDll-standin.ini"
fed="$work/fed.ts"
zh record "$(win "$clip/Zendrel-S.dll")" --space 0 --channel 0 --seconds 2 --out "$(win "$fed")"
check "fed channel: exit 0" [ "$rc" = 0 ]
check "fed channel: the file's PAT carries the tuned TS ID" [ "$(value 'TS ID')" = 0x4010 ]
check "fed channel: over one pass of the file" [ "$(size "$fed")" -gt 717032 ]
check "fed channel: continuous across the passes" [ "$(value 'continuity errors')" = 0 ]
check "fed channel: no sync loss" line "$out" '^sync losses: 0 '
if command -v ffprobe >/dev/null; then
  streams=$(timeout 30 ffprobe -v error -show_entries stream=codec_type -of default=nw=1:nk=1 "$fed" |
    grep -xE 'audio|video' | sort -u | tr '\n' ' ')
  check "fed channel: ffprobe finds audio and video" [ "$streams" = "audio video " ]
fi

echo "== two processes share the board"
# The first recording holds Ec1Bs1; the second satellite copy must take the
# other satellite tuner, and a third finds none free.
# These two run without a time limit: they are killed below, runner and
# program, within seconds.
"$runner" "$host" record "$S" --space 0 --channel 0 --seconds 30 --out "$(win "$work/first.ts")" >/dev/null 2>&1 &
first=$!
# A recording is written under a partial name until it ends.
for _ in $(seq 50); do [ "$(size "$work/first.partial.ts")" -gt 0 ] && break; sleep 0.2; done
zh list "$S"
check "second process: takes Ec1Bs2" has "$out" "tuner: Ec1Bs2"
"$runner" "$host" record "$S" --space 0 --channel 1 --seconds 30 --out "$(win "$work/second.ts")" >/dev/null 2>&1 &
second=$!
for _ in $(seq 50); do [ "$(size "$work/second.partial.ts")" -gt 0 ] && break; sleep 0.2; done
zh list "$S"
check "third process: no satellite tuner free" [ "$rc" = 1 ]
# A process killed outright leaves its tuner free all the same. The Windows
# programs run as children of wine-run.sh, so the children go first.
exec 3>&2 2>/dev/null  # not the shell's "Killed" notes
pkill -KILL -P "$first,$second"
kill -KILL "$first" "$second"
wait "$first" "$second"
exec 2>&3 3>&-
zh list "$S"
check "after the holders were killed: Ec1Bs1 is free again" has "$out" "tuner: Ec1Bs1"

echo "== failures"
zh list "$(win "$plugins/Nothing-S.dll")"
check "missing DLL: exit 1 with a message" [ "$rc" = 1 -a -n "$err" ]
echo "not a program" >"$plugins/Text-S.dll"
zh list "$(win "$plugins/Text-S.dll")"
check "not a DLL: exit 1" [ "$rc" = 1 ]
check "not a DLL: cannot load it" has "$err" "cannot load"
zh list "$(win "$plugins/EarthPtDll.dll")"
check "no CreateBonDriver: exit 1" [ "$rc" = 1 ]
check "no CreateBonDriver: says so" has "$err" "no CreateBonDriver"
# A third satellite tuner does not exist on the board: the DLL refuses to load.
cp "$bin/Zendrel.dll" "$plugins/Zendrel-S3.dll"
zh list "$(win "$plugins/Zendrel-S3.dll")"
check "DLL refusing to load: exit 1" [ "$rc" = 1 ]
check "DLL refusing to load: the system's reason" has "$err" "(error 1114)"
check "DLL refusing to load: the likely cause" has "$err" "likely cause: the tuner digit 3 selects board 2"
zh list "$(win "$plugins/Zendrel-S3.dll")" --json
check "a failed command's --json: ok false with the cause" has "$(json 'ok;cause')" \
  "$(printf 'ok=false\ncause=the tuner digit 3')"
zh list "$(win "$bin/Zendrel.dll")"
check "no board library beside it: says so" has "$err" "likely cause: EarthPtDll.dll, the board library, is neither"
zh list "$(win "$plugins/Text-S.dll")"
check "system messages have their inserts filled" lacks "$err" "%1"

zh record "$S" --space 0 --channel 999 --seconds 1 --out "$(win "$work/new.ts")"
check "channel 999: exit 1" [ "$rc" = 1 ]
check "channel 999: no output file left behind" [ ! -e "$work/new.ts" -a ! -e "$work/new.partial.ts" ]

# A folder of its own: had the DLL been loaded, it would have written its
# settings file there when released.
alone="$work/alone"
mkdir -p "$alone"
cp "$bin/Zendrel.dll" "$alone/Zendrel-S.dll"
cp "$bin/standin/EarthPtDll.dll" "$alone/"
zh record "$(win "$alone/Zendrel-S.dll")" --space 0 --channel 0 --seconds 1 --out "$(win "$work/no/such/dir/x.ts")"
check "unwritable --out: exit 1" [ "$rc" = 1 ]
check "unwritable --out: names the missing folder" has "$err" 'the folder Z:\tmp'
check "unwritable --out: names no file the user never typed" lacks "$err" ".partial"
check "unwritable --out: checked before loading the DLL" [ -z "$(ls "$alone" | grep -v '\.dll$')" ]

zh check "$(win "$plugins/Nothing-S.dll")"
check "check, no such DLL: exit 1 at once, one line on stderr, no report" \
  [ "$rc" = 1 -a -z "$out" -a "$(wc -l <<<"$err")" = 1 ]

zh record "$S" --space 0 --channel 0 --out "$(win "$work/x.ts")"
check "neither --seconds nor --bytes: exit 2" [ "$rc" = 2 ]
check "bad arguments: usage shown" has "$err" "usage:"
zh record "$S" --space zero --channel 0 --seconds 1 --out "$(win "$work/x.ts")"
check "--space zero: exit 2" [ "$rc" = 2 ]
zh
check "no arguments: exit 2" [ "$rc" = 2 ]

echo "== --json on every failure: one object with ok false, its code and a message"
ro="$work/readonly"
mkdir -p "$ro"
cp "$bin/Zendrel.dll" "$ro/Zendrel-S.dll"
cp "$bin/standin/EarthPtDll.dll" "$ro/"
chattr +i "$ro" 2>/dev/null && ! touch "$ro/probe" 2>/dev/null && readonly=yes || readonly=
echo "keep me" >"$work/exists.ts"
json_failure() {  # json_failure CODE ARGS...
  local code=$1
  shift
  zh "$@" --json
  check "--json, $code ($1): one object with ok false and its code" \
    [ "$(wc -l <<<"$out")" = 1 -a "$(json 'ok;code' | tr '\n' ' ')" = "ok=false code=$code " ]
  check "--json, $code ($1): the message and the other fields" has_fields 'command;driver;error;cause'
}
json_failure usage record "$S" --channel 0 --seconds 1 --out "$(win "$work/jf.ts")"
json_failure no_driver list "$(win "$plugins/Nothing-S.dll")"
json_failure no_driver check "$(win "$plugins/Nothing-S.dll")"
json_failure load_failed record "$(win "$plugins/Zendrel-S3.dll")" --space 0 --channel 0 --seconds 1 \
  --out "$(win "$work/jf.ts")"
json_failure file_exists record "$S" --space 0 --channel 0 --seconds 1 --out "$(win "$work/exists.ts")"
json_failure folder_missing scan "$S" --write-channels "$(win "$work/no/such/dir/x.txt")"
json_failure no_channel record "$S" --channel bs13 --seconds 1 --out "$(win "$work/jf.ts")"
if [ -n "$readonly" ]; then
  json_failure folder_not_writable record "$S" --space 0 --channel 0 --seconds 1 --out "$(win "$ro/x.ts")"
else
  echo "skip  a read-only folder: this machine cannot make one for root"
fi

echo "== init, and check on the side files the plug-in writes"
fresh="$work/fresh"
mkdir -p "$fresh"
cp "$bin/Zendrel.dll" "$fresh/Zendrel-T.dll"
cp "$bin/Zendrel.dll" "$fresh/Zendrel-S.dll"
cp "$bin/standin/EarthPtDll.dll" "$fresh/"
zh init "$(win "$fresh/Zendrel-T.dll")"
check "init: exit 0" [ "$rc" = 0 ]
check "init: the settings and the channel file written" \
  [ "$(grep -c '^  written' <<<"$out")" = 2 -a -f "$fresh/Zendrel-ST.ini" -a -f "$fresh/Zendrel-T.SetCh.txt" ]
zh init "$(win "$fresh/Zendrel-S.dll")" --json
check "init, second copy: the shared settings file exists, the channel file written" \
  [ "$(json 'ok;files.0.state;files.1.state' | tr '\n' ' ')" = "ok=true files.0.state=existed files.1.state=written " ]
before=$(md5sum "$fresh"/*.ini "$fresh"/*.txt)
zh init "$(win "$fresh/Zendrel-T.dll")"
check "init again: exit 0, both exist already, nothing written over" \
  [ "$rc" = 0 -a "$(grep -c '^  exists already' <<<"$out")" = 2 -a "$(md5sum "$fresh"/*.ini "$fresh"/*.txt)" = "$before" ]
zh check "$(win "$fresh/Zendrel-T.dll")" --board
check "check, the terrestrial file the plug-in wrote: exit 0" [ "$rc" = 0 ]
check "check, that file: the cable rows disabled, not dropped" \
  line "$out" '^verdict: [0-9]+ lines read: 0 dropped, [1-9][0-9]* disabled on purpose, 0 not taken as written'
zh check "$(win "$fresh/Zendrel-S.dll")" --board
check "check, the satellite file the plug-in wrote: exit 0" [ "$rc" = 0 ]
if [ -n "$readonly" ]; then
  zh check "$(win "$ro/Zendrel-S.dll")"
  check "check, read-only plug-in folder: says the side files cannot be written" \
    has "$out" "nothing can be written in its folder"
  zh init "$(win "$ro/Zendrel-S.dll")"
  check "init, read-only plug-in folder: exit 1, says why" eval '[ "$rc" = 1 ] && has "$err" "nothing can be written"'
fi

echo "== names, the version"
zh record "$S" --channel "ｂｓ１／ｔｓ１" --bytes 1000 --out "$(win "$work/wide.ts")"
check "a full-width, lower-case name finds its channel" [ "$rc" = 0 -a "$(value 'TS ID')" = 0x4011 ]
zh record "$S" --channel bs13 --bytes 1000 --out "$(win "$work/near.ts")"
check "a near miss: did you mean" has "$err" 'did you mean "BS13/TS0" or "BS13/TS1"?'
zh --version
check "--version" line "$out" '^zendrel-host [0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$'

finish_checks
