#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's own prefix and a
# Japanese locale, so that the ANSI code page is 932 as on a Japanese Windows:
#
#   scripts/wine-run.sh PROGRAM [ARGS...]
#
# A 64-bit program runs in the 64-bit prefix, a 32-bit one in the 32-bit
# prefix; ZENDREL_WINE_BITS=64 runs a 32-bit one in the 64-bit prefix too.

# A script that starts this in the background hands it SIGINT ignored, and
# bash can neither trap nor reset a signal ignored at entry: Ctrl+C or kill
# -INT would then not end a recording. So it runs itself once more with
# SIGINT and SIGTERM at their defaults.
if [ "${ZENDREL_WINE_RUN_SIGNALS:-}" != reset ]; then
  ZENDREL_WINE_RUN_SIGNALS=reset exec env --default-signal=INT,TERM "$BASH" "$0" "$@"
fi
unset ZENDREL_WINE_RUN_SIGNALS
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
# The prefix of the program's own bitness, unless ZENDREL_WINE_BITS names
# one: a 32-bit program may run in the 64-bit prefix beside 64-bit ones.
zendrel_wine_env "${ZENDREL_WINE_BITS:-$(zendrel_wine_bits_of "$1")}"
zendrel_wine_make
# Wine 8 ends a Windows program on SIGTERM at once, without running any of
# its code, so a recording would stop without its summary. Passed on as
# SIGINT, it reaches the program as Ctrl+C, which it handles. Hence wine runs
# as a child here rather than in this shell's place; stdin is passed on
# explicitly, since a background command would otherwise read /dev/null.
wine "$@" <&0 &
child=$!
trap 'kill -INT "$child" 2>/dev/null' INT TERM
# wait returns early for each trapped signal; the child's own status comes
# once it has ended.
while :; do
  wait "$child"
  status=$?
  kill -0 "$child" 2>/dev/null || break
done
exit "$status"
