# What the command-line test scripts share: a scratch directory, made their
# working directory and removed at the end, and the counting of checks.
# Sourced after the script has taken its arguments; finish ends the script.
work=$(mktemp -d)
# Only the script's own shell cleans up: a background child killed before
# it runs its command would otherwise run the trap too.
trap '[[ $BASHPID == $$ ]] && rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
checks=0
skipped=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# expect NAME ACTUAL EXPECTED
expect() {
  checks=$((checks + 1))
  [[ "$2" == "$3" ]] || fail "$1: got [$2], expected [$3]"
}

# skip COUNT WHY
skip() {
  echo "SKIP: $2"
  skipped=$((skipped + $1))
}

# wait_until WHAT COMMAND...: waits for COMMAND to succeed, a minute at
# most, so that a test waits for a condition rather than for a time.
wait_until() {
  local what=$1 tries
  shift
  for ((tries = 0; tries < 1200; ++tries)); do
    "$@" && return 0
    sleep 0.05
  done
  fail "waited a minute for $what"
  return 1
}

# Whether a thread of PID waits in the open of a FIFO for the other end.
blocked_on_fifo() { grep -qs wait_for_partner /proc/"$1"/task/*/wchan; }

# Whether every signal sent to PID has been taken by it.
signals_taken() {
  ! grep -h -E '^(SigPnd|ShdPnd):' /proc/"$1"/status /proc/"$1"/task/*/status 2>/dev/null |
    grep -q -v -E ':\s+0+$'
}

finish() {
  echo "$((checks - failures)) passed, $failures failed, $skipped skipped"
  [[ $failures -eq 0 ]]
  exit
}
