#!/usr/bin/env bash
# Runs qavrel-campaign as a user would on a generated campaign whose grades
# are known, and checks its outputs, its store, reruns and interruptions.
# usage: campaign_test.sh QAVREL_CAMPAIGN QAVREL QAVREL_GEN [EMULATOR...]
# EMULATOR runs programs built for another processor (qemu-user).
set -u
campaign=("${@:4}" "$(realpath "$1")")
qavrel=("${@:4}" "$(realpath "$2")")
gen=("${@:4}" "$(realpath "$3")")
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"

# run ARGS...: the campaign, its streams in out/err and its status in status.
run() {
  "${campaign[@]}" "$@" >out 2>err
  status=$?
}
# column NAME [FILE]: that column of summary.csv, one line per data file.
column() {
  python3 -c 'import csv, sys
for row in csv.DictReader(open(sys.argv[2])): print(row[sys.argv[1]])' "$1" "${2:-out_dir/summary.csv}"
}
# sql QUERY: one result per line from the results store.
sql() {
  python3 -c 'import sqlite3, sys
for row in sqlite3.connect(sys.argv[1]).execute(sys.argv[2]): print("|".join(map(str, row)))' \
    out_dir/campaign.sqlite "$1"
}

"${gen[@]}" --campaign tree --trains 3
day=tree/20261208

# A first run analyses every file, grades it, and writes every output.
run -o out_dir tree
expect "first run" "$status|$(cat out)" "0|12 data files (0 unchanged), 6 chips; files graded 5 A, 2 B, 2 C, 1 no data, 2 fail; 0 failed.
report: out_dir/report.html"
expect "a name that does not fit" "$(cat err)" \
  "skipped $day/calibration_notes_adc.txt: no field of the name starts with \"vemra\""
expect "grades by chip and parity" "$(paste -d' ' <(column chip) <(column parity) <(column grade) | tr '\n' ';')" \
  "100001 even A;100001 odd A;100002 even B;100002 odd B;100003 even C;100003 odd C;100004 even fail;100004 odd fail;100005 even A;100005 odd A;100006 even A;100006 odd no data;"
expect "damaged file" "$(column message | grep damaged)" \
  "damaged: the input ended at byte 61466 on a token that is not a number"
expect "ratios.csv rows" "$(wc -l <out_dir/ratios.csv)" $((1 + 12 * 240))
expect "store rows" "$(sql 'select count(*) from analyses')|$(sql 'select count(*) from ratios')" "12|2880"
expect "plots" "$(ls out_dir/plots | wc -l)" 12
expect "no progress line off a terminal" "$(grep -c $'\r' err)" 0

# Every log is the one qavrel.exe writes for that file and those arguments.
same_logs=0
while IFS=, read -r path chip config; do
  log=$(dirname "$path")/xtalk_vemra${chip}_${config}.log
  cp "$log" campaign.log && "${qavrel[@]}" "$chip" "$config" "$path" >/dev/null &&
    cmp -s "$log" campaign.log && same_logs=$((same_logs + 1))
done < <(python3 -c 'import csv
for r in csv.DictReader(open("out_dir/summary.csv")): print(r["path"], r["chip"], r["config"], sep=",")')
expect "logs as qavrel.exe writes them" "$same_logs" 12

# A rerun with nothing changed reads nothing and writes nothing.
stamps() { find tree out_dir -type f ! -name 'campaign.sqlite*' -printf '%p %T@\n' | sort; }
before=$(stamps)
run -o out_dir tree
expect "rerun" "$status|$(head -n 1 out)" \
  "0|12 data files (12 unchanged), 6 chips; files graded 5 A, 2 B, 2 C, 1 no data, 2 fail; 0 failed."
expect "rerun writes nothing" "$(stamps)" "$before"
expect "rerun adds no rows" "$(sql 'select count(*) from analyses')" 12

# Other limits grade anew from the store, reading nothing; outputs that
# went missing are made again.
run -o out_dir --grades 0.001,0.002,0.003 tree
expect "other limits" "$status|$(head -c 30 out)|$(column grade | sort -u | tr '\n' ' ')" \
  "0|12 data files (12 unchanged), |fail no data "
rm out_dir/report.html
run -o out_dir -q tree
expect "a lost report is made again" "$status|$(grep -c 'class="map"' out_dir/report.html)" "0|12"

# A changed file is read again; its old analysis stays in the store.
odd1=$(ls $day/*100001/*odd_adc.txt)
"${gen[@]}" --trains 3 --cross-talk 0.03 --seed 5 >"$odd1"
run -o out_dir -q tree
expect "changed file" "$status|$(sql "select count(*) from analyses where path = '$odd1'")" "0|2"
expect "its new grade" "$(paste -d' ' <(column path) <(column grade) | grep "$odd1" | cut -d' ' -f2)" C

# Two files with one log (a repeated measurement): both are analysed and
# stored, the later by name writes the log, and both are flagged.
later=$(dirname "$odd1")/999999_vemra100001_zorik00_link01_20mV_calib-odd_adc.txt
"${gen[@]}" --trains 3 --cross-talk 0.002 --seed 9 >"$later"
run -o out_dir -q tree
log=$(dirname "$odd1")/xtalk_vemra100001_20mV_calib-odd.log
cp "$log" campaign.log
"${qavrel[@]}" 100001 20mV_calib-odd "$later" >/dev/null
expect "collision: the later file's log" "$status|$(cmp -s "$log" campaign.log && echo same)" "0|same"
expect "collision flagged" "$(column shares_log_with | grep -c /999999_vemra)|$(column shares_log_with | grep -c /101500_vemra100001_)" "1|1"
expect "collision plots" "$(ls out_dir/plots | grep -c '^100001_20mV_calib-odd')" 2

# A log that can't be written fails that file only, with qavrel.exe's words.
even6=$(ls $day/*100006/*even_adc.txt)
log6=$(dirname "$even6")/xtalk_vemra100006_20mV_calib-even.log
rm -f "$log6" && mkdir "$log6"
run -o out_dir --force -j 3 tree
expect "unwritable log" "$status|$(grep -c '^failed' err)|$(grep '^failed' err)" \
  "1|1|failed: $even6: Cannot write log file named $log6: Is a directory"
expect "the others are fine" "$(column status | grep -c ok)" 12
rmdir "$log6"

# A compressed file cut short is a failure; an intact one is read.
zst=$day/104500_vemra100007/104500_vemra100007_zorik00_link00_20mV_calib-odd_adc.txt.zst
mkdir -p "$(dirname "$zst")"
"${gen[@]}" --trains 3 --cross-talk 0.004 | zstd -q -c >"$zst"
head -c 20000 "$zst" >"${zst%.txt.zst}_cut_adc.txt.gz"
run -o out_dir -q tree
expect "compressed files" "$status|$(grep '^failed' err | cut -d: -f1-2)|$(paste -d' ' <(column path) <(column grade) | grep "$zst")" \
  "1|failed: ${zst%.txt.zst}_cut_adc.txt.gz|$zst A"

# Bad usage says how to use the tool, with status 2.
run
expect "no path" "$status|$(head -n 1 err)" "2|qavrel-campaign: give at least one PATH, or --manifest"
run --grades 0.05,0.01,0.02 tree
expect "bad grades" "$status" 2
run --pattern '(?<chip>\d+' tree
expect "bad pattern" "$status" 2
run --help
expect "help" "$status|$(grep -c -- --manifest out)" "0|1"

# Other names, by a pattern or a manifest.
mkdir other && "${gen[@]}" --trains 3 --cross-talk 0.004 >other/chip42-odd.dat && cp other/chip42-odd.dat other/m.txt
run -o other_out -q --pattern '^chip(?<chip>\d+)-(?<config>\w+)\.dat$' other
expect "pattern" "$status|$(column chip other_out/summary.csv)|$(ls other/*.log)" "0|42|other/xtalk_vemra42_odd.log"
printf 'path,chip,config\n"m.txt",43,calib_odd\n' >other/manifest.csv
run -o other_out -q --manifest other/manifest.csv
expect "manifest" "$status|$(column grade other_out/summary.csv)" "0|A"

# Interrupted with in-flight work: that file finishes, no new one starts,
# the store stays whole, and the next run carries on. A FIFO holds the
# fourth file (after the three of chip 100001) back until the signal has
# been sent.
rm -rf out_dir
fifo=$day/102000_vemra100002/102000_vemra100002_zorik00_link00_20mV_calib-fifo-odd_adc.txt
mkfifo "$fifo"
"${campaign[@]}" -o out_dir -j 1 -q "$day/101500_vemra100001" "$fifo" "$day/102500_vemra100003" >out 2>err &
pid=$!
sleep 1
kill -INT $pid
# The FIFO is opened under the timeout too, should the reader never come.
timeout 60 bash -c '"${@:2}" >"$1"' - "$fifo" "${gen[@]}" --trains 3 --cross-talk 0.015
wait $pid
status=$?
expect "interrupted" "$status|$(sql 'select count(*) from analyses')|$(sql 'pragma integrity_check')" \
  "130|4|ok"
# Each analysed file's plot is whole; the outputs of the whole campaign wait.
expect "no partial output" "$(ls out_dir/plots | wc -l)|$(ls out_dir/*.csv out_dir/*.html 2>/dev/null | wc -l)|$(find tree out_dir -name '.*.tmp' | wc -l)" "4|0|0"
rm "$fifo"
run -o out_dir "$day/101500_vemra100001" "$day/102500_vemra100003"
expect "resumed" "$status|$(sql 'select count(*) from analyses')|$(head -c 26 out)" "0|6|5 data files (3 unchanged)"

# The report opens in a real browser, with one map per data file.
browser=$(command -v chromium || command -v chromium-browser || true)
if [[ -z $browser ]]; then
  skip 1 "the report in a browser (no chromium)"
else
  run -o out_dir -q tree
  timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/browser" --dump-dom "file://$work/out_dir/report.html" >dom.html 2>/dev/null
  expect "maps in the browser" "$(grep -o '<svg[^>]*class="map"' dom.html | wc -l)" \
    "$(($(wc -l <out_dir/summary.csv) - 1))"
fi

finish
