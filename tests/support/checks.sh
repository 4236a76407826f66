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

finish() {
  echo "$((checks - failures)) passed, $failures failed, $skipped skipped"
  [[ $failures -eq 0 ]]
  exit
}
