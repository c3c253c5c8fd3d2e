#!/usr/bin/env bash
# A plug-in folder that nothing can be written to: the plug-in still loads,
# lists its channels and is released, and the folder stays exactly as it was.
#
#   tests/dll/readonly_folder.sh BIN_DIR
#
# The folder is made immutable with chattr, which holds even for root (Wine
# runs as root here). Exits 77 (skipped) where chattr is not allowed.
set -u
bin=$(cd "$1" && pwd) || exit 2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/zendrel-ro.XXXXXX")
cleanup() { chattr -i "$work/tv" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
mkdir "$work/tv"
cp "$bin/Zendrel.dll" "$work/tv/Zendrel-S.dll"
cp "$bin/standin/EarthPtDll.dll" "$work/tv/"
if ! chattr +i "$work/tv" 2>/dev/null || touch "$work/tv/probe" 2>/dev/null; then
  echo "skipped: this machine cannot make a folder read-only for root"
  exit 77
fi
# -A, not -a: the parent folder (..) changes whenever anything is written
# beside the test folder, which says nothing about this folder.
before=$(ls -lA --time-style=+%s "$work/tv")

"$root/scripts/wine-run.sh" "$bin/zendrel-host.exe" list "Z:${work//\//\\}\\tv\\Zendrel-S.dll" >"$work/out" 2>&1
rc=$?
failed=0
if [ $rc -eq 0 ] && grep -q 'BS1/TS0' "$work/out"; then
  echo "ok    loads and lists the built-in channels in a read-only folder"
else
  echo "FAIL  list exited $rc:"; cat "$work/out"; failed=1
fi
if [ "$(ls -lA --time-style=+%s "$work/tv")" = "$before" ]; then
  echo "ok    nothing was written, nothing lost"
else
  echo "FAIL  the folder changed"; failed=1
fi
exit $failed
