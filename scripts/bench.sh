#!/usr/bin/env bash
# Runs the benchmarks: zendrel-bench.exe from BIN_DIR under Wine, printing the
# command line, the machine and the report. `make bench` starts the Wine prefix
# first. The exit status is the program's: non-zero only when a benchmark could
# not run at all, never because a goal was missed.
set -u
bin=${1:?usage: scripts/bench.sh BIN_DIR}
exe=$bin/zendrel-bench.exe
if [ ! -f "$exe" ]; then
  echo "bench: $exe is missing; build the Windows tree first (make build-win)" >&2
  exit 2
fi
cmd=("$(dirname "$0")/wine-run.sh" "$exe")
echo "command: ${cmd[*]}"
echo "machine: $(nproc) cores, $(wine --version 2>/dev/null), $(. /etc/os-release && echo "$PRETTY_NAME")"
echo
"${cmd[@]}"
