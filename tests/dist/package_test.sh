#!/usr/bin/env bash
# The Windows package as make dist builds it from the 32-bit and the 64-bit
# tree: unpacked, it holds exactly the tuner plug-in and zendrel-host as the
# 32-bit build made them, the 64-bit zendrel-host in x64/, the network
# plug-in of each bitness in x86/ and x64/ when the trees have built it, the
# licence and both guides; nothing of the stand-in; each binary is of its
# folder's machine type and imports only system libraries (the tuner plug-in
# the board library besides), and no DLL carries a TLS directory.
#
#   tests/dist/package_test.sh BIN_DIR BIN64_DIR
set -u
usage="usage: $0 BIN_DIR BIN64_DIR"
bin=$(cd "${1:?$usage}" && pwd)
bin64=$(cd "${2:?$usage}" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zendrel-dist.XXXXXX")
trap 'rm -rf "$work"' EXIT
net=Zendrel-Net.dll

. "$root/tests/checks.sh"

zip=$("$root/scripts/dist.sh" "$bin" "$bin64" "$work/out") || { echo "FAIL  scripts/dist.sh"; exit 1; }
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip") || { echo "FAIL  unpacking $zip"; exit 1; }
top="$work/unpacked/$(basename "$zip" .zip)"
check "one folder named after the zip" [ -d "$top" -a "$(ls "$work/unpacked" | wc -l)" = 1 ]
# What the package must hold, as the build made it: package path, then the
# built file.
packed=("Zendrel.dll" "$bin/Zendrel.dll" "zendrel-host.exe" "$bin/zendrel-host.exe"
        "x64/zendrel-host.exe" "$bin64/zendrel-host.exe")
[ -f "$bin/$net" ] && packed+=("x86/$net" "$bin/$net")
[ -f "$bin64/$net" ] && packed+=("x64/$net" "$bin64/$net")
expected="INSTALL.ja.txt INSTALL.txt LICENSE.txt"
for ((i = 0; i < ${#packed[@]}; i += 2)); do
  expected+=" ${packed[i]}"
  check "${packed[i]} as the build made it" cmp -s "$top/${packed[i]}" "${packed[i + 1]}"
done
check "exactly: $expected" [ "$(cd "$top" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')" = \
  "$(tr ' ' '\n' <<<"$expected" | sort | tr '\n' ' ')" ]
check "nothing of the stand-in" [ -z "$(grep -rl EptSim "$top")" ]
check "the MIT licence" grep -q "^MIT License" "$top/LICENSE.txt"
check "texts with CR LF line ends" grep -q $'\r$' "$top/INSTALL.txt"
lacks() { ! grep -qF -- "$1" "$2"; }
for guide in INSTALL.txt INSTALL.ja.txt; do
  for topic in Zendrel-S0.dll Zendrel-ST.ini '$CS110' 'check Zendrel-S.dll' 'peak Mbit/s' 'init Zendrel-S.dll' \
    'OutLNB=0' 'device lost' 'zendrel-host serve' 'playlist.m3u' 'schtasks /Create' '--host' Zendrel-Net.ini \
    'Server1=http://' '--listen 0.0.0.0:40080' '--allow' 'x64\Zendrel-Net.dll' 'x86\Zendrel-Net.dll'; do
    check "$guide: covers $topic" grep -qF -- "$topic" "$top/$guide"
  done
  check "$guide: version filled in" lacks @VERSION@ "$top/$guide"
  check "$guide: each section number once" [ -z "$(grep -oE '^[0-9]+\. ' "$top/$guide" | sort | uniq -d)" ]
done
check "Japanese guide: UTF-8 with a byte-order mark" [ "$(head -c 3 "$top/INSTALL.ja.txt" | od -An -tx1 | tr -d ' ')" = efbbbf ]

# Machine type (the objdump of the folder's bitness reads only its own
# format) and imports of each binary.
objdump_for() { [ "${1%%/*}" = x64 ] && echo x86_64-w64-mingw32-objdump || echo i686-w64-mingw32-objdump; }
imports() { "$(objdump_for "$1")" -p "$top/$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u; }
system='kernel32|user32|winmm|advapi32|shell32|msvcrt|ntdll'
for ((i = 0; i < ${#packed[@]}; i += 2)); do
  file=${packed[i]}
  format=pei-i386
  [ "${file%%/*}" = x64 ] && format=pei-x86-64
  check "$file: $format" grep -q "file format $format\$" <(i686-w64-mingw32-objdump -f "$top/$file" 2>/dev/null;
                                                          x86_64-w64-mingw32-objdump -f "$top/$file" 2>/dev/null)
  found=$(imports "$file")
  case "$file" in
    Zendrel.dll)
      check "$file imports EarthPtDll.dll" grep -qx earthptdll.dll <<<"$found"
      allowed="$system|earthptdll" ;;
    *.exe) allowed="$system|ws2_32|mswsock|iphlpapi" ;;  # zendrel-host serves over the network, naming this PC's addresses
    *) allowed="kernel32|winhttp" ;;    # the network plug-in: no runtime, the system's HTTP client
  esac
  check "$file imports only system libraries ($(echo $found))" [ -z "$(grep -Evx "($allowed)\.dll" <<<"$found")" ]
  # A TLS directory in a DLL means a runtime (winpthreads) came with it, and
  # with it a callback at every thread attach and memory kept per load.
  [ "${file##*.}" = dll ] && check "$file has no TLS directory" \
    grep -q "Entry 9 0*[[:space:]]" <("$(objdump_for "$file")" -p "$top/$file")
done

finish_checks
