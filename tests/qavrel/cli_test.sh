#!/usr/bin/env bash
# Runs qavrel.exe as a user would and checks its streams, status and log file.
# usage: cli_test.sh QAVREL QAVREL_GEN [EMULATOR...]
# EMULATOR runs programs built for another processor (qemu-user).
set -u
qavrel_cmd=("${@:3}" "$(realpath "$1")")
gen_cmd=("${@:3}" "$(realpath "$2")")
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"

# run ARGS...: runs the tool, keeping its streams in out/err and status in status.
run() {
  "${qavrel_cmd[@]}" "$@" >out 2>err
  status=$?
}

# expect_outcome NAME STATUS STDOUT STDERR: the last run's status and streams.
expect_outcome() {
  expect "$1" "$status|$(cat out)|$(cat err)" "$2|$3|$4"
}

expect_no_log() {
  checks=$((checks + 1))
  local logs
  logs=$(find "$work" -name 'xtalk_vemra*.log' | head -n 1)
  [[ -z "$logs" ]] || fail "$1: a log file was left: $logs"
}

mkdir -p data
"${gen_cmd[@]}" --trains 30 --noise 2 --seed 7 >data/run_adc.txt
"${gen_cmd[@]}" --trains 4 --noise 2 --seed 7 --parity even >data/even_adc.txt

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
expect_outcome "usage with two arguments" 255 "$(cat out)" ""

# A normal run: parity line, status 0 and a 16-line table beside the data.
run 100000 20mV_calib-odd data/run_adc.txt
expect_outcome "odd run" 0 " odd selected " ""
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
expect_outcome "no parity word" 1 "" "Parity must be either 'even' or 'odd'"
expect_no_log "parity error"

# Data files that can't be opened, before any parity check.
for path in data/missing.txt data "" data/; do
  run 7 Odd "$path"
  expect_outcome "unopenable '$path'" 1 "" "Cannot open file named $path."
done
expect_no_log "unopenable data"

# A data path without "/" is a file in the current folder: its log is there,
# the same table as for the same file named with its folder.
cp data/run_adc.txt plain.txt
run 7 odd plain.txt
expect_outcome "no slash" 0 " odd selected " ""
run 7 odd data/run_adc.txt
expect "no slash: the log in the current folder" \
  "$(cmp xtalk_vemra7_odd.log data/xtalk_vemra7_odd.log && echo same)" "same"
rm -f xtalk_vemra7_odd.log data/*.log

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

# --- Fault tests: damaged input, unusual files, and logs that can't be written.

# table_of FILE: the log the tool writes for FILE (copied into data/), or the
# failure it reports.
table_of() {
  cp "$1" data/probe_adc.txt
  rm -f data/xtalk_vemra9_odd.log
  "${qavrel_cmd[@]}" 9 odd data/probe_adc.txt >/dev/null 2>&1 && cat data/xtalk_vemra9_odd.log
  rm -f data/probe_adc.txt data/xtalk_vemra9_odd.log
}

# Row 274 is peak 2 of the second train (5 lead rows, a 2-row marker, one
# baseline row, 218 train rows and 20 gap rows come before it), so whether it
# counts shows in the table.
head -n 274 data/run_adc.txt >before.txt
damaged_row=$(sed -n 275p data/run_adc.txt)
without_row=$(table_of before.txt)
{ cat before.txt; echo "$damaged_row"; } >with.txt
with_row=$(table_of with.txt)
expect "the damaged row matters" "$([[ "$without_row" != "$with_row" ]] && echo differs)" differs

# with_token TOKEN K: the data file with value K of row 274 replaced by TOKEN.
with_token() {
  cat before.txt
  echo "$damaged_row" | awk -v k="$2" -v token="$1" '{ $(k + 1) = token; print }'
  sed -n '276,$p' data/run_adc.txt
}
# expect_token TOKEN K VALUE: with TOKEN as value K of row 274, the table is
# that of the file cut after row 273, or after row 274 ending in VALUE when
# TOKEN is a number cut short by junk and K is the row's last value.
expect_token() {
  local expected_table=$without_row
  with_token "$1" "$2" >damaged.txt
  if [[ -n ${3:-} && $2 -eq 31 ]]; then
    { cat before.txt; echo "$damaged_row" | awk -v value="$3" '{ $32 = value; print }'; } >expected.txt
    expected_table=$(table_of expected.txt)
  fi
  expect "$1 as value $2" "$(table_of damaged.txt)" "$expected_table"
}
for ((k = 0; k < 32; ++k)); do
  expect_token 12abc "$k" 12
done
for k in 0 1 17 30 31; do
  expect_token 1.5 "$k" 1
  expect_token 0x1F "$k" 0
  expect_token 1e5 "$k" 1
  for token in 2147483648 -2147483649 99999999999999999999 + - .5; do
    expect_token "$token" "$k"
  done
  # The limits themselves are plain values.
  for case in 2147483647:2147483647 -2147483648:-2147483648 -0:0 +0000000000000000000012:12; do
    with_token "${case%:*}" "$k" >damaged.txt
    with_token "${case##*:}" "$k" >expected.txt
    damaged_table=$(table_of damaged.txt)
    expect "${case%:*} as value $k" "$damaged_table" "$(table_of expected.txt)"
    expect "${case%:*} as value $k reads on" "$([[ $damaged_table != "$without_row" ]] && echo yes)" yes
  done
done

# A NUL byte ends the input like any other junk.
{ cat before.txt; printf '\0'; sed -n '275,$p' data/run_adc.txt; } >nul.txt
expect "NUL in the middle" "$(table_of nul.txt)" "$without_row"

# Line breaks carry no meaning: one line of several megabytes, no newline.
whole_table=$(table_of data/run_adc.txt)
tr '\n' ' ' <data/run_adc.txt | head -c -1 >one_line.txt
expect "one long line" "$(table_of one_line.txt)" "$whole_table"
tr '\n' '\t' <data/run_adc.txt | sed 's/\t/\r\n/g' >crlf.txt
expect "carriage returns and tabs" "$(table_of crlf.txt)" "$whole_table"

# Empty and junk files give a not-a-number table and status 0.
nan_table=$(table_of data/short.txt)
: >empty.txt
expect "empty file" "$(table_of empty.txt)" "$nan_table"
head -c 100000 /dev/urandom | tr '0-9 \n\t-' 'abcdefghijklmn' >junk.txt
expect "binary junk" "$(table_of junk.txt)" "$nan_table"

# A FIFO fed by another process reads like a regular file.
mkfifo data/fifo_adc.txt
# The writer gives up should the tool never open the FIFO.
timeout 60 sh -c 'cat data/run_adc.txt >data/fifo_adc.txt' &
run 9 odd data/fifo_adc.txt
wait
expect "fifo status" "$status" 0
expect "fifo table" "$(cat data/xtalk_vemra9_odd.log)" "$whole_table"
rm -f data/xtalk_vemra9_odd.log data/fifo_adc.txt

# Compressed files are read by their first bytes, whatever their name:
# several gzip members or zstd frames read as one stream, and a stream that
# is cut short or corrupt is an error with no log. A build without the
# libraries refuses them, which is all there is to check then.
compressed_tests() {
  head -n 3000 data/run_adc.txt >part1.txt
  sed -n '3001,$p' data/run_adc.txt >part2.txt
  { gzip -c part1.txt; gzip -c part2.txt; } >members.gz
  { zstd -q -c part1.txt; zstd -q -c part2.txt; } >frames.zst
  expect "gzip members" "$(table_of members.gz)" "$whole_table"
  expect "zstd frames" "$(table_of frames.zst)" "$whole_table"
  for kind in gzip:members.gz zstd:frames.zst; do
    head -c "$(($(stat -c %s "${kind#*:}") / 2))" "${kind#*:}" >data/cut_adc.txt
    run 9 odd data/cut_adc.txt
    expect_outcome "${kind%:*} cut short" 1 "" \
      "Cannot read file named data/cut_adc.txt: ${kind%:*} stream cut short"
  done
  # A flipped byte in the middle: the checksum or the data itself tells.
  cp members.gz data/bad_adc.txt
  printf '\x55' | dd of=data/bad_adc.txt bs=1 seek=20000 conv=notrunc status=none
  run 9 odd data/bad_adc.txt
  expect "corrupt gzip" "$status|$(cut -d: -f1 err)" "1|Cannot read file named data/bad_adc.txt"
  { cat members.gz; echo trailing; } >data/bad_adc.txt
  run 9 odd data/bad_adc.txt
  expect_outcome "data after gzip" 1 "" \
    "Cannot read file named data/bad_adc.txt: data after the end of the gzip stream"
  expect "damaged compressed files leave no log" "$(ls data/xtalk_vemra9_odd.log 2>&1 >/dev/null | wc -l)" 1
  # What gzip and zstd themselves accept: zero padding after the members
  # (tapes add it), and windows up to 128 MiB (--long, --ultra -22); more
  # is refused with the window it needs.
  { cat members.gz; head -c 5000 /dev/zero; } >data/padded_adc.txt
  expect "gzip with zero padding" "$(table_of data/padded_adc.txt)" "$whole_table"
  zstd -q --ultra -22 -c <data/run_adc.txt >data/ultra_adc.txt
  expect "zstd --ultra -22" "$(table_of data/ultra_adc.txt)" "$whole_table"
  zstd -q --long=28 -c <data/run_adc.txt >data/long_adc.txt
  run 9 odd data/long_adc.txt
  expect_outcome "zstd window beyond 128 MiB" 1 "" \
    "Cannot read file named data/long_adc.txt: needs a window of 256 MiB, more than 128 MiB"
  rm -f data/padded_adc.txt data/ultra_adc.txt data/long_adc.txt data/xtalk_vemra9_odd.log
  rm -f data/cut_adc.txt data/bad_adc.txt
  mkfifo data/fifo_adc.txt
  timeout 60 sh -c 'zstd -q -c data/run_adc.txt >data/fifo_adc.txt' &
  run 9 odd data/fifo_adc.txt
  wait
  expect "compressed fifo" "$status|$(cat data/xtalk_vemra9_odd.log)" "0|$whole_table"
  rm -f data/xtalk_vemra9_odd.log data/fifo_adc.txt
}
printf '1 2 3\n' | gzip -c >data/probe_adc.txt
run 9 odd data/probe_adc.txt
if grep -q "this build reads none" err; then
  skip 1 "compressed files (built without ISA-L or zstd)"
else
  compressed_tests
fi
rm -f data/probe_adc.txt data/xtalk_vemra9_odd.log

# The data's directory disappears while the data is read: no log, status 1.
mkdir gone && mkfifo gone/fifo_adc.txt
timeout 60 sh -c '{ cat data/run_adc.txt; rm -rf gone; } >gone/fifo_adc.txt' &
run 9 odd gone/fifo_adc.txt
wait
expect_outcome "missing log directory" 1 " odd selected " \
  "Cannot write log file named gone/xtalk_vemra9_odd.log: No such file or directory"

# A pipe named through /dev/fd is read, but no log can be made beside it.
"${qavrel_cmd[@]}" 9 odd <(cat data/run_adc.txt) >out 2>err
status=$?
cut -d: -f1 err >reason && mv reason err
expect_outcome "pipe path" 1 " odd selected " "Cannot write log file named /dev/fd/xtalk_vemra9_odd.log"

# A log that can't be written in full is a failure, never status 0.
ln -s /dev/full data/xtalk_vemra9_odd.log
run 9 odd data/run_adc.txt
expect_outcome "full disk" 1 " odd selected " \
  "Cannot write log file named data/xtalk_vemra9_odd.log: No space left on device"
expect "full disk keeps link and device" "$(readlink data/xtalk_vemra9_odd.log)|$(stat -c %F /dev/full)" \
  "/dev/full|character special file"
rm -f data/xtalk_vemra9_odd.log

# A read error is reported, not taken for the end of the data.
run 9 odd /proc/self/mem
expect_outcome "read error" 1 "" "Cannot read file named /proc/self/mem: Input/output error"

# Spaces, "%" and bytes beyond ASCII are copied into the log name literally.
rm -f data/*.log
run '1 %s' $'odd \xc3\xbc %d%%' data/run_adc.txt
expect "literal names status" "$status" 0
expect "literal names log" "$(ls data/*.log)" $'data/xtalk_vemra1 %s_odd \xc3\xbc %d%%.log'
rm -f data/*.log

# A log name as long as a name may be (255 bytes) still gets its table.
long_chip=$(printf 'c%.0s' {1..236})
run "$long_chip" odd data/run_adc.txt
expect "longest log name" "$status|$(ls data | grep -c "^xtalk_vemra${long_chip}_odd.log$")" "0|1"
run "${long_chip}c" odd data/run_adc.txt
expect_outcome "log name too long" 1 " odd selected " \
  "Cannot write log file named data/xtalk_vemra${long_chip}c_odd.log: File name too long"
rm -f data/*.log
expect_no_log "after the fault tests"

# --- A failed or concurrent run never destroys a good table.

# no_temporary NAME: no hidden temporary file is left anywhere.
no_temporary() {
  expect "$1 leaves no temporary file" "$(find "$work" -name '.xtalk_vemra*')" ""
}

log=data/xtalk_vemra9_odd.log
run 9 odd data/run_adc.txt
good_table=$(cat "$log")
# A disk that fills up during the write: the old log stays as it was.
(ulimit -f 1 && "${qavrel_cmd[@]}" 9 odd data/run_adc.txt >out 2>err)
status=$?
expect_outcome "file-size limit" 1 " odd selected " \
  "Cannot write log file named $log: File too large"
expect "file-size limit keeps the old log" "$(cat "$log")" "$good_table"
no_temporary "file-size limit"

# A new log's mode follows the umask; a replaced one keeps its own mode.
rm -f "$log"
(umask 027 && "${qavrel_cmd[@]}" 9 odd data/run_adc.txt >/dev/null)
expect "new log mode" "$(stat -c %a "$log")" 640
chmod 604 "$log"
run 9 odd data/run_adc.txt
expect "replaced log mode" "$(stat -c %a "$log")" 604

# A log that is a symbolic link is replaced at its target; the link stays.
rm -f "$log" && mkdir -p elsewhere
ln -s ../elsewhere/table.log "$log"
for pass in "a new target" "an existing target"; do
  run 9 odd data/run_adc.txt
  expect "link to $pass" "$status|$(readlink "$log")|$(cat elsewhere/table.log)" \
    "0|../elsewhere/table.log|$good_table"
done
rm -f "$log"

# Many runs stopped at random moments leave the old table or a new one, whole.
"${gen_cmd[@]}" --trains 3 --noise 2 --seed 11 >data/other_adc.txt
run 9 odd data/other_adc.txt
other_table=$(cat "$log")
cp "$log" other.log
for ((i = 0; i < 40; ++i)); do
  cp other.log "$log"
  "${qavrel_cmd[@]}" 9 odd data/run_adc.txt >/dev/null 2>&1 &
  sleep "0.00$((RANDOM % 10))"
  kill -TERM $! 2>/dev/null
  wait $!
  table=$(cat "$log")
  [[ $table == "$good_table" || $table == "$other_table" ]] || fail "stopped run $i left a mixed log"
done
checks=$((checks + 1))
no_temporary "stopped runs"

# The table reaches the disk before it replaces the log, and the rename
# does after: the temporary file is synced, then renamed, then the
# directory is synced. strace shows the order of the calls.
if ! command -v strace >/dev/null || ((${#qavrel_cmd[@]} > 1)) ||
  ! strace -o /dev/null true 2>/dev/null; then
  skip 1 "the order of sync and rename (no strace here, or an emulator)"
else
  strace -f -e trace=openat,fsync,fdatasync,rename,renameat,renameat2 -o calls \
    "${qavrel_cmd[@]}" 9 odd data/run_adc.txt >/dev/null
  # The calls on the temporary file, the log and their directory, by name.
  order=$(awk '
    /openat\(.*\.xtalk_vemra9_odd\.log\..*\.tmp"/ { fd[$NF] = "temporary"; print "open temporary" }
    /openat\(.*O_DIRECTORY/ { fd[$NF] = "directory"; print "open directory" }
    /f(data)?sync\(/ { n = $0; sub(/.*sync\(/, "", n); sub(/\).*/, "", n); if (n in fd) print "sync " fd[n] }
    /rename.*\.tmp", "data\/xtalk_vemra9_odd\.log"/ { print "rename" }' calls | tr '\n' ';')
  expect "sync before rename, directory after" "$order" \
    "open temporary;sync temporary;rename;open directory;sync directory;"
fi

# 20 runs at once on different files that share a log: one whole table wins.
mkdir -p crowd && expected_tables=()
for ((i = 0; i < 20; ++i)); do
  "${gen_cmd[@]}" --trains 2 --noise 2 --seed "$((100 + i))" >crowd/"$i"_adc.txt
  "${qavrel_cmd[@]}" 9 odd crowd/"$i"_adc.txt >/dev/null
  expected_tables+=("$(cat crowd/xtalk_vemra9_odd.log)")
done
for ((i = 0; i < 20; ++i)); do "${qavrel_cmd[@]}" 9 odd crowd/"$i"_adc.txt >/dev/null & done
wait
final=$(cat crowd/xtalk_vemra9_odd.log)
found=no
for table in "${expected_tables[@]}"; do [[ $final == "$table" ]] && found=yes; done
expect "concurrent runs leave one whole table" "$found" yes
no_temporary "concurrent runs"
rm -rf crowd elsewhere other.log "$log"

# Permission checks mean nothing to root, who may write anywhere.
if [[ $(id -u) -eq 0 ]]; then
  skip 3 "read-only directory, read-only log and unreadable file (running as root)"
else
  mkdir readonly && cp data/run_adc.txt readonly/run_adc.txt && chmod 555 readonly
  run 9 odd readonly/run_adc.txt
  expect_outcome "read-only directory" 1 " odd selected " \
    "Cannot write log file named readonly/xtalk_vemra9_odd.log: Permission denied"
  chmod 755 readonly
  run 9 odd data/run_adc.txt && chmod 444 data/xtalk_vemra9_odd.log
  run 9 odd data/other_adc.txt
  expect_outcome "read-only log" 1 " odd selected " \
    "Cannot write log file named data/xtalk_vemra9_odd.log: Permission denied"
  expect "read-only log is kept" "$(cat data/xtalk_vemra9_odd.log)" "$good_table"
  rm -f data/xtalk_vemra9_odd.log
  chmod 000 data/run_adc.txt
  run 9 odd data/run_adc.txt
  expect_outcome "unreadable file" 1 "" "Cannot open file named data/run_adc.txt."
  chmod 644 data/run_adc.txt
fi

finish
