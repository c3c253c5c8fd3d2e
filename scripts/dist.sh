#!/usr/bin/env bash
# Packs the Windows package into OUT_DIR/Zendrel-VERSION-windows.zip and
# prints the zip's path:
#
#   Zendrel.dll            the tuner plug-in (32-bit), as the build made it
#   zendrel-host.exe       zendrel-host, 32-bit
#   x86/Zendrel-Net.dll    the network plug-in for 32-bit hosts
#   x64/Zendrel-Net.dll    the network plug-in for 64-bit hosts
#   x64/zendrel-host.exe   zendrel-host, 64-bit
#   LICENSE.txt, INSTALL.txt, INSTALL.ja.txt
#
# The network plug-in is packed from each tree that has built it. Never the
# stand-in board library: a user's plug-in folder holds the board vendor's.
#
#   scripts/dist.sh BIN_DIR BIN64_DIR OUT_DIR
set -eu
usage="usage: scripts/dist.sh BIN_DIR BIN64_DIR OUT_DIR"
bin=$(cd "${1:?$usage}" && pwd)
bin64=$(cd "${2:?$usage}" && pwd)
out=${3:?$usage}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
version=$(sed -n 's/^project(Zendrel VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name=Zendrel-$version-windows
net=Zendrel-Net.dll

mkdir -p "$out"
out=$(cd "$out" && pwd)
stage="$out/$name"
rm -rf "$stage" "$out/$name.zip"
mkdir -p "$stage/x64"
cp "$bin/Zendrel.dll" "$bin/zendrel-host.exe" "$stage/"
cp "$bin64/zendrel-host.exe" "$stage/x64/"
if [ -f "$bin/$net" ]; then
  mkdir -p "$stage/x86"
  cp "$bin/$net" "$stage/x86/"
fi
if [ -f "$bin64/$net" ]; then
  cp "$bin64/$net" "$stage/x64/"
fi
# Texts for Windows: CR LF line ends, and the Japanese guide with a UTF-8
# byte-order mark, without which older Notepads read it as code page 932.
windows_text() { sed -e "s/@VERSION@/$version/" -e 's/$/\r/' "$1"; }
windows_text "$root/LICENSE" >"$stage/LICENSE.txt"
windows_text "$root/package/INSTALL.txt" >"$stage/INSTALL.txt"
{ printf '\xEF\xBB\xBF'; windows_text "$root/package/INSTALL.ja.txt"; } >"$stage/INSTALL.ja.txt"
(cd "$out" && cmake -E tar cf "$name.zip" --format=zip "$name")
rm -rf "$stage"
echo "$out/$name.zip"
