#!/usr/bin/env bash
# The Windows package as make dist builds it: unpacked, it holds exactly the
# plug-in as the build made it, zendrel-host, the licence and both guides;
# nothing of the stand-in; and the plug-in imports only system libraries and
# the board library.
#
#   tests/dist/package_test.sh BIN_DIR [OBJDUMP]
set -u
bin=$(cd "${1:?usage: $0 BIN_DIR [OBJDUMP]}" && pwd)
objdump=${2:-i686-w64-mingw32-objdump}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zendrel-dist.XXXXXX")
trap 'rm -rf "$work"' EXIT

. "$root/tests/checks.sh"

zip=$("$root/scripts/dist.sh" "$bin" "$work/out") || { echo "FAIL  scripts/dist.sh"; exit 1; }
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip") || { echo "FAIL  unpacking $zip"; exit 1; }
top="$work/unpacked/$(basename "$zip" .zip)"
check "one folder named after the zip" [ -d "$top" -a "$(ls "$work/unpacked" | wc -l)" = 1 ]
check "exactly the five files" [ "$(cd "$top" && ls | sort | tr '\n' ' ')" = \
  "INSTALL.ja.txt INSTALL.txt LICENSE.txt Zendrel.dll zendrel-host.exe " ]
check "the plug-in as the build made it" cmp -s "$top/Zendrel.dll" "$bin/Zendrel.dll"
check "zendrel-host as the build made it" cmp -s "$top/zendrel-host.exe" "$bin/zendrel-host.exe"
check "nothing of the stand-in" [ -z "$(grep -rl EptSim "$top")" ]
check "the MIT licence" grep -q "^MIT License" "$top/LICENSE.txt"
check "texts with CR LF line ends" grep -q $'\r$' "$top/INSTALL.txt"
lacks() { ! grep -qF -- "$1" "$2"; }
for guide in INSTALL.txt INSTALL.ja.txt; do
  for topic in Zendrel-S0.dll Zendrel-ST.ini '$CS110' 'check Zendrel-S.dll' 'peak Mbit/s' 'init Zendrel-S.dll' \
    'OutLNB=0' 'device lost' 'zendrel-host serve' 'playlist.m3u' 'schtasks /Create' '--host'; do
    check "$guide: covers $topic" grep -qF -- "$topic" "$top/$guide"
  done
  check "$guide: version filled in" lacks @VERSION@ "$top/$guide"
done
check "Japanese guide: UTF-8 with a byte-order mark" [ "$(head -c 3 "$top/INSTALL.ja.txt" | od -An -tx1 | tr -d ' ')" = efbbbf ]

imports() { "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u; }
allowed='^(kernel32|user32|winmm|advapi32|shell32|msvcrt|ntdll|earthptdll)\.dll$'
dll_imports=$(imports "$top/Zendrel.dll")
check "the plug-in imports EarthPtDll.dll" grep -qx earthptdll.dll <<<"$dll_imports"
check "the plug-in imports only system libraries besides ($(echo $dll_imports))" \
  [ -z "$(grep -Evx "$allowed" <<<"$dll_imports")" ]
host_imports=$(imports "$top/zendrel-host.exe")
# zendrel-host serves over the network (Windows sockets, and the IP helper
# for this PC's addresses) as well.
check "zendrel-host imports only system libraries ($(echo $host_imports))" \
  [ -z "$(grep -Evx "${allowed/|earthptdll/|ws2_32|mswsock|iphlpapi}" <<<"$host_imports")" ]

finish_checks
