# Sourced by the shell tests: one line per check, and the verdict at the end.
#   check DESCRIPTION COMMAND...   runs COMMAND; "ok" or "FAIL" with DESCRIPTION
#   finish_checks                  exits 1 if any check failed
failures=0
check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok    $what"
  else
    echo "FAIL  $what"
    failures=$((failures + 1))
  fi
}

finish_checks() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
}
