#!/usr/bin/env bash
# The demo after its satellite channel file was edited, as the README invites:
# it records the channel that carries the clip wherever the row now stands,
# and says so plainly, without failing, once no row carries it.
#
#   tests/demo/edited_channel_file.sh BIN_DIR
set -u
bin=$(cd "${1:?usage: $0 BIN_DIR}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zendrel-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT

. "$root/tests/checks.sh"
demo="$work/demo"
mkdir -p "$demo"

# The first BS row commented out; the clip's carrier (PT channel 0, TS ID
# 0x4010) listed further down, under another name.
printf '$BS 0\r\n$CS110 1\r\n;BS1/TS0 0 0 0x4010\r\nBS1/TS1 0 0 0x4011\r\nClip 0 0 0x4010\r\nND2 1 12 0x6020\r\n' \
  >"$demo/Zendrel-S.SetCh.txt"
out=$("$root/scripts/demo.sh" "$bin" "$demo" 2>&1)
rc=$?
check "edited file: the demo passes" [ "$rc" = 0 ]
check "edited file: records the clip's channel where it now stands" \
  grep -q '^== Recording 3 seconds of Clip (space 0, channel 1)' <<<"$out"
check "edited file: that recording is the clip" [ "$(sed -n 's/^TS ID: //p' <<<"$out")" = 0x4010 ]
if command -v ffprobe >/dev/null; then
  check "edited file: a player finds its video" grep -q 'Stream .*Video: mpeg2video' <<<"$out"
fi
check "edited file: the channel's own file name" [ -s "$demo/Clip.ts" -a ! -e "$demo/BS1-TS0.ts" ]

printf '$BS 0\r\nBS1/TS1 0 0 0x4011\r\n' >"$demo/Zendrel-S.SetCh.txt"
out=$("$root/scripts/demo.sh" "$bin" "$demo" 2>&1)
rc=$?
check "no row carries the clip: the demo passes" [ "$rc" = 0 ]
check "no row carries the clip: says so" grep -q 'no longer lists the channel that plays the test-pattern clip' <<<"$out"
check "no row carries the clip: records nothing" [ -z "$(ls "$demo" | grep -v '^testpattern' | grep '\.ts$')" ]
finish_checks
