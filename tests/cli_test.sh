#!/usr/bin/env bash
# Runs qavrel.exe as a user would and checks its streams, status and log file.
# usage: cli_test.sh QAVREL XTALK_GEN
set -u
qavrel=$(realpath "$1")
gen=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
checks=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# run ARGS...: runs the tool, keeping its streams in out/err and status in status.
run() {
  "$qavrel" "$@" >out 2>err
  status=$?
}

# expect NAME ACTUAL EXPECTED
expect() {
  checks=$((checks + 1))
  [[ "$2" == "$3" ]] || fail "$1: got [$2], expected [$3]"
}

expect_no_log() {
  checks=$((checks + 1))
  local logs
  logs=$(find "$work" -name 'xtalk_vemra*.log' | head -n 1)
  [[ -z "$logs" ]] || fail "$1: a log file was left: $logs"
}

mkdir -p data
"$gen" --trains 30 --noise 2 --seed 7 >data/run_adc.txt
"$gen" --trains 4 --noise 2 --seed 7 --parity even >data/even_adc.txt

# Usage text and status 255.
example='./qavrel.exe 100000 20mV_calib-odd /home/obr/robot/20180725/123510_vemra100000/123510_vemra100000_zorik00_link00_20mV_calib-odd_adc.txt'
run
expect "usage status" "$status" 255
expect "usage text" "$(cat out)" "Not enough arguments: argc = 1
Syntax should be:
./qavrel.exe chip_string config adcfilename
Example:
$example"
run 100000 20mV_calib-odd
expect "usage with two arguments" "$(head -n 1 out)" "Not enough arguments: argc = 3"
expect "usage status with two arguments" "$status" 255
expect "usage writes no error" "$(cat err)" ""

# A normal run: parity line, status 0 and a 16-line table beside the data.
run 100000 20mV_calib-odd data/run_adc.txt
expect "odd status" "$status" 0
expect "odd stdout" "$(cat out)" " odd selected "
expect "odd stderr" "$(cat err)" ""
log=data/xtalk_vemra100000_20mV_calib-odd.log
expect "odd table lines" "$(wc -l <"$log")" 16
expect "odd header" "$(head -c 24 "$log")" "Peak #    ch  0    ch  2"
# Injected cross-talk of 1% to 4% comes back within the noise.
expect "odd ratios" "$(awk 'NR > 1 { for (i = 2; i <= NF; ++i) { want = 0.01 * (1 + (i - 2) % 4);
  if ($i < want - 0.004 || $i > want + 0.004) bad = bad " " NR ":" i "=" $i } } END { print bad }' "$log")" ""
first_table=$(cat "$log")
run 100000 20mV_calib-odd data/run_adc.txt extra ignored
expect "fourth argument changes nothing" "$(cat "$log")" "$first_table"

run 7 calib_even data/even_adc.txt
expect "even stdout" "$(cat out)" " even selected "
expect "even header" "$(head -c 24 data/xtalk_vemra7_calib_even.log)" "Peak #    ch  1    ch  3"
run 7 odd_even data/run_adc.txt
expect "odd is looked for first" "$(cat out)" " odd selected "
rm -f data/*.log

# No parity word: reported after the analysis, no log.
run 7 Odd data/run_adc.txt
expect "parity status" "$status" 1
expect "parity stderr" "$(cat err)" "Parity must be either 'even' or 'odd'"
expect "parity stdout" "$(cat out)" ""
expect_no_log "parity error"

# Data files that can't be opened, before any parity check.
for path in data/missing.txt data "" data/; do
  run 7 Odd "$path"
  expect "open status for '$path'" "$status" 1
  expect "open stderr for '$path'" "$(cat err)" "Cannot open file named $path."
  expect "open stdout for '$path'" "$(cat out)" ""
done
expect_no_log "unopenable data"

# A data path without "/" makes the log path name an entry below the data file.
cp data/run_adc.txt plain.txt
run 7 odd plain.txt
expect "no-slash status" "$status" 1
expect "no-slash stdout" "$(cat out)" " odd selected "
expect "no-slash stderr" "$(cat err)" "Cannot write log file named plain.txt/xtalk_vemra7_odd.log: Not a directory"

# Chip and configuration are copied literally, "%" included.
run '%s%n' 'odd %d 100%' data/run_adc.txt
expect "percent status" "$status" 0
expect "percent log" "$(ls data/*.log)" "data/xtalk_vemra%s%n_odd %d 100%.log"
rm -f data/*.log

# A file without a start marker still gives a table, of not-a-number.
printf '1 2 3\n' >data/short.txt
run 7 odd data/short.txt
expect "no marker status" "$status" 0
expect "no marker row" "$(sed -n 2p data/xtalk_vemra7_odd.log)" \
  "     0$(printf '     -nan%.0s' {1..16})"

echo "$((checks - failures)) passed, $failures failed"
[[ $failures -eq 0 ]]
