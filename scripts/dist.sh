#!/usr/bin/env bash
# Packs the Windows package: the plug-in as the build made it, zendrel-host,
# the licence and the install guides, into OUT_DIR/Zendrel-VERSION-win32.zip,
# and prints the zip's path. Never the stand-in board library: a user's
# plug-in folder holds the board vendor's.
#
#   scripts/dist.sh BIN_DIR OUT_DIR
set -eu
bin=$(cd "${1:?usage: scripts/dist.sh BIN_DIR OUT_DIR}" && pwd)
out=${2:?usage: scripts/dist.sh BIN_DIR OUT_DIR}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
version=$(sed -n 's/^project(Zendrel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name=Zendrel-$version-win32

mkdir -p "$out"
out=$(cd "$out" && pwd)
stage="$out/$name"
rm -rf "$stage" "$out/$name.zip"
mkdir -p "$stage"
cp "$bin/Zendrel.dll" "$bin/zendrel-host.exe" "$stage/"
# Texts for Windows: CR LF line ends, and the Japanese guide with a UTF-8
# byte-order mark, without which older Notepads read it as code page 932.
windows_text() { sed -e "s/@VERSION@/$version/" -e 's/$/\r/' "$1"; }
windows_text "$root/LICENSE" >"$stage/LICENSE.txt"
windows_text "$root/package/INSTALL.txt" >"$stage/INSTALL.txt"
{ printf '\xEF\xBB\xBF'; windows_text "$root/package/INSTALL.ja.txt"; } >"$stage/INSTALL.ja.txt"
(cd "$out" && cmake -E tar cf "$name.zip" --format=zip "$name")
rm -rf "$stage"
echo "$out/$name.zip"
