#!/usr/bin/env bash
# zendrel-host with a plug-in that is not the tuner plug-in (StubPlugin.dll:
# no kind letter, no board library, no side files), under Wine: list and
# record go through CreateBonDriver and the interface's slots alone; check,
# init and scan --write-channels, which know the tuner plug-in's side files
# only, say so and write nothing; a DLL of the other bitness is refused with
# the reason before the loader is asked. With the 32-bit tree's bin/, also
# the tuner plug-in from the 64-bit tool: check reads its side files, but
# asks the board only from the 32-bit one.
#
#   tests/host/any_plugin.sh BIN_DIR [WIN32_BIN_DIR]
set -u
bin=$(cd "${1:?usage: $0 BIN_DIR [WIN32_BIN_DIR]}" && pwd) || exit 2
bin32=${2:-}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
run="$root/scripts/wine-run.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/zendrel-any.XXXXXX")
trap 'rm -rf "$work"' EXIT
tv="$work/tv"
mkdir "$tv"
cp "$bin/StubPlugin.dll" "$tv/"

. "$root/tests/checks.sh"
win() { local p=${1//\//\\}; echo "Z:$p"; }
stub=$(win "$tv/StubPlugin.dll")
zh() {
  timeout 60 "$run" "$bin/zendrel-host.exe" "$@" >"$work/out" 2>"$work/err"
  rc=$?
  out=$(cat "$work/out")
  err=$(cat "$work/err")
}
has() { grep -qF -- "$2" <<<"$1"; }
value() { sed -n "s/^$1: //p" <<<"$out" | head -n 1; }
code() {
  printf '%s' "$out" >"$work/json"
  cmake -DJSON="$work/json" -DGET=code -P "$root/tests/host/json_get.cmake" 2>&1
}

zh list "$stub"
check "list: exit 0" [ "$rc" = 0 ]
check "list: the plug-in's tuner, space and channels" \
  has "$out" "$(printf 'tuner: Stub tuner\nspace 0: Stub\n  0: Alpha\n  1: Beta')"

zh record "$stub" --channel beta --bytes 1000000 --out "$(win "$work/beta.ts")"
check "record: exit 0" [ "$rc" = 0 ]
check "record: the bytes asked for" [ "$(stat -c %s "$work/beta.ts" 2>/dev/null)" = 1000000 ]
check "record: the channel's own stream (its TS ID)" [ "$(value 'TS ID')" = 0x7002 ]
check "record: no continuity error" [ "$(value 'continuity errors')" = 0 ]
check "list and record: nothing written beside the plug-in" [ "$(ls "$tv")" = StubPlugin.dll ]

refused() {
  check "$1: exit 1, not the tuner plug-in" [ "$rc" = 1 ]
  check "$1: says what it knows" has "$err" "is not the tuner plug-in (it does not import EarthPtDll.dll)"
}
zh check "$stub"
refused check
zh init "$stub"
refused init
zh scan "$stub" --write-channels "$(win "$work/found.txt")"
refused "scan --write-channels"
zh init "$stub" --json
check "init --json: code not_tuner_plugin" [ "$(code)" = "code=not_tuner_plugin" ]
check "check, init, scan: nothing written" [ "$(ls "$tv")" = StubPlugin.dll -a ! -e "$work/found.txt" ]

# The same DLL marked as a 32-bit image (its machine field, 2 bytes after
# the PE signature): the loader is not asked, the reason is given.
cp "$tv/StubPlugin.dll" "$tv/Other.dll"
pe=$(od -An -tu4 -j 60 -N 4 "$tv/Other.dll" | tr -d ' ')
printf '\x4c\x01' | dd of="$tv/Other.dll" bs=1 seek=$((pe + 4)) conv=notrunc status=none
zh list "$(win "$tv/Other.dll")" --json
check "other bitness: exit 1, code wrong_bitness" [ "$rc" = 1 -a "$(code)" = "code=wrong_bitness" ]
check "other bitness: says which zendrel-host loads it" \
  has "$err" "Other.dll is a 32-bit DLL, and this zendrel-host is 64-bit: a program loads only DLLs of its own bitness \
(use the 32-bit zendrel-host.exe)"

if [ -f "$bin32/Zendrel.dll" ]; then
  cp "$bin32/Zendrel.dll" "$tv/Zendrel-S.dll"
  zh check "$(win "$tv/Zendrel-S.dll")"
  check "32-bit tuner plug-in: check, exit 0" [ "$rc" = 0 ]
  check "32-bit tuner plug-in: check reads its side files" has "$out" "settings file: "
  zh check "$(win "$tv/Zendrel-S.dll")" --board --json
  check "32-bit tuner plug-in: check --board refused, code wrong_bitness" \
    [ "$rc" = 1 -a "$(code)" = "code=wrong_bitness" ]
  check "32-bit tuner plug-in: check --board names the way" has "$err" "check without --board reads its side files"
else
  echo "skip  the tuner plug-in from the 64-bit tool: no 32-bit bin folder given"
fi

finish_checks
