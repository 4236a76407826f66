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
for row in csv.DictReader(open(sys.argv[2], errors="surrogateescape")):
  print(row[sys.argv[1]])' "$1" "${2:-out_dir/summary.csv}"
}
# sql QUERY [STORE]: one result per line from the results store.
sql() {
  python3 -c 'import sqlite3, sys
for row in sqlite3.connect(sys.argv[1]).execute(sys.argv[2]): print("|".join(map(str, row)))' \
    "${2:-out_dir/campaign.sqlite}" "$1"
}

"${gen[@]}" --campaign tree --trains 3
day=$(realpath tree)/20261208  # paths are stored and shown canonical

# A first run analyses every file, grades it, and writes every output.
run -o out_dir tree
expect "first run" "$status|$(cat out)" "0|12 data files (0 unchanged), 6 chips; chips graded 2 A, 1 B, 1 C, 1 no data, 1 fail; files graded 5 A, 2 B, 2 C, 1 no data, 2 fail; 0 failed.
report: out_dir/report.html"
expect "a name that does not fit" "$(cat err)" \
  "skipped $day/calibration_notes_adc.txt: no field of the name starts with \"vemra\""
expect "grades by chip and parity" "$(paste -d' ' <(column chip) <(column parity) <(column grade) | tr '\n' ';')" \
  "100001 even A;100001 odd A;100002 even B;100002 odd B;100003 even C;100003 odd C;100004 even fail;100004 odd fail;100005 even A;100005 odd A;100006 even A;100006 odd no data;"
expect "damaged file" "$(column message | grep damaged)" \
  "damaged: the input ended at byte 61466 on a token that is not a number"
expect "store rows" "$(sql 'select count(*) from analyses')|$(sql 'select count(*) from ratios')" "12|2880"
expect "the long table is in the store" "$(sql 'select count(*) from latest_ratios')|$(test -e out_dir/ratios.csv || echo 'no ratios.csv')" \
  "2880|no ratios.csv"
expect "plots and chip pages" "$(ls out_dir/plots | wc -l)|$(ls out_dir/chips | tr '\n' ' ')" \
  "12|100001.html 100002.html 100003.html 100004.html 100005.html 100006.html "
expect "chips.csv" "$(head -n 2 out_dir/chips.csv)" \
  "chip,grade,worst_config,worst_abs_mean_ratio,worst_channel,current_measurements,superseded_measurements,latest_data_file,latest_measured_at,latest_data_file_bench
100001,A,$(column worst_config out_dir/chips.csv | head -n 1),$(column worst_abs_mean_ratio out_dir/chips.csv | head -n 1),$(column worst_channel out_dir/chips.csv | head -n 1),2,0,$(ls $day/*100001/*_"$(column worst_config out_dir/chips.csv | head -n 1)"_adc.txt),2026-12-08T10:15:00,$(column bench | head -n 1)"
# The robot's time is the name's first field, its date the folder's name;
# a name without a time is dated by its modification time.
expect "measured by the robot's layout" "$(paste -d' ' <(column measured_at) <(column measured_from) | sort -u | tr '\n' ';')" \
  "2026-12-08T10:15:00 name;2026-12-08T10:20:00 name;2026-12-08T10:25:00 name;2026-12-08T10:30:00 name;2026-12-08T10:35:00 name;2026-12-08T10:40:00 name;"
expect "no progress line off a terminal" "$(grep -c $'\r' err)" 0

# Every log is the one qavrel.exe writes for that file and those arguments,
# there on a copy of the file, so that the campaign's log is left as it is.
same_logs=0
mkdir copy
while IFS=, read -r path chip config; do
  log=$(dirname "$path")/xtalk_vemra${chip}_${config}.log
  cp "$path" copy/data && "${qavrel[@]}" "$chip" "$config" copy/data >/dev/null &&
    cmp -s "$log" "copy/xtalk_vemra${chip}_${config}.log" && same_logs=$((same_logs + 1))
done < <(python3 -c 'import csv
for r in csv.DictReader(open("out_dir/summary.csv")): print(r["path"], r["chip"], r["config"], sep=",")')
expect "logs as qavrel.exe writes them" "$same_logs" 12

# The store records what each output was made from, and the folder as a
# whole, and nothing else.
expect "a record per output" "$(sql 'select count(*) from output_files')" \
  "$(($(find out_dir -type f ! -name 'campaign.sqlite*' | wc -l) + 1))"

# What another program put where the outputs are goes, with nothing else
# changed; other files stay.
echo x >out_dir/chips/zzz.html && echo x >out_dir/index/chips-7.html && echo x >out_dir/ratios.csv
echo x >out_dir/plots/100001_20mV_calib-odd-0000000000000000.svg && echo x >out_dir/notes.txt
run -o out_dir -q tree
expect "outputs no run called for" "$status|$(ls out_dir/chips/zzz.html out_dir/index/chips-7.html out_dir/ratios.csv out_dir/plots/*-0000000000000000.svg out_dir/notes.txt 2>/dev/null)" \
  "0|out_dir/notes.txt"
rm out_dir/notes.txt

# A rerun with nothing changed reads nothing and writes nothing.
stamps() { find tree out_dir -type f ! -name 'campaign.sqlite*' -printf '%p %T@\n' | sort; }
before=$(stamps)
run -o out_dir tree
expect "rerun" "$status|$(head -n 1 out)" \
  "0|12 data files (12 unchanged), 6 chips; chips graded 2 A, 1 B, 1 C, 1 no data, 1 fail; files graded 5 A, 2 B, 2 C, 1 no data, 2 fail; 0 failed."
expect "rerun writes nothing" "$(stamps)" "$before"
expect "rerun adds no rows" "$(sql 'select count(*) from analyses')" 12

# Other limits grade anew from the store, reading nothing, and the maps
# take their colours; outputs that went missing are made again.
plot1=$(ls out_dir/plots/100001_20mV_calib-odd-*.svg)
plot_before=$(md5sum <"$plot1")
run -o out_dir --grades 0.001,0.002,0.003 tree
expect "other limits" "$status|$(head -c 30 out)|$(column grade | sort -u | tr '\n' ' ')" \
  "0|12 data files (12 unchanged), |fail no data "
expect "the maps take the new colours" "$(md5sum <"$plot1" | grep -c "$plot_before")" 0
rm out_dir/report.html out_dir/chips/100003.html
run -o out_dir -q tree
expect "a lost report is made again" "$status|$(test -s out_dir/report.html && echo there)|$(grep -c 'class="map"' out_dir/chips/100003.html)" "0|there|2"
# Outputs another program changed, not only emptied, are made again; one
# that can't be (a folder in its place) is a failure, and no report is
# announced.
report_before=$(md5sum <out_dir/report.html)
echo junk >out_dir/report.html && echo junk >"$plot1"
run -o out_dir -q tree
expect "outputs changed by another program" "$status|$(md5sum <out_dir/report.html)|$(grep -c '<svg' "$plot1")" \
  "0|$report_before|1"
rm out_dir/report.html && mkdir out_dir/report.html
run -o out_dir --grades 0.001,0.002,0.004 tree
expect "an output that can't be written" \
  "$status|$(grep -c 'report.html: Is a directory' err)|$(grep -c 'outputs\? could not be written' err)|$(grep -c '^report:' out)" \
  "1|1|1|0"
rmdir out_dir/report.html
run -o out_dir -q tree

# A changed file is read again; its old analysis stays in the store.
# Only its chip's page is written again, with the small indexes.
odd1=$(ls $day/*100001/*odd_adc.txt)
"${gen[@]}" --trains 3 --cross-talk 0.03 --seed 5 >"$odd1"
pages() { find out_dir/chips out_dir/plots -type f -printf '%f %T@\n' | sort; }
pages_before=$(pages)
run -o out_dir -q tree
expect "changed file" "$status|$(sql "select count(*) from analyses where path = '$odd1'")" "0|2"
expect "its new grade" "$(paste -d' ' <(column path) <(column grade) | grep "$odd1" | cut -d' ' -f2)" C
expect "only its chip's page and plot are written" \
  "$(diff <(echo "$pages_before") <(pages) | grep '^>' | cut -d' ' -f2 | sed 's/-[0-9a-f]*\.svg$/.svg/' | tr '\n' ' ')" \
  "100001.html 100001_20mV_calib-odd.svg "

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
# The later file is the current measurement: it decides the chip's grade.
expect "a retest decides" "$(grep '^100001,' out_dir/chips.csv | cut -d, -f2,6,7)|$(paste -d' ' <(column path) <(column superseded_by) | grep "^$odd1 " | cut -d' ' -f2)" \
  "A,2,1|$later"

# A chip that failed and passed its retest on the next day is graded by the
# retest; the failed measurement stays as its history.
retest=$(realpath tree)/20261209/091500_vemra100004
mkdir -p "$retest"
for parity in odd even; do
  "${gen[@]}" --trains 3 --cross-talk 0.004 --parity $parity --seed 4 \
    >"$retest/091500_vemra100004_zorik00_link00_20mV_calib-${parity}_adc.txt"
done
run -o out_dir -q tree
expect "retested chip" "$status|$(grep '^100004,' out_dir/chips.csv | cut -d, -f2,6,7)|$(grep -c 'History: superseded' out_dir/chips/100004.html)" \
  "0|A,2,2|1"

# A log that can't be written fails that file only, with qavrel.exe's words;
# what was read still grades it.
even6=$(ls $day/*100006/*even_adc.txt)
log6=$(dirname "$even6")/xtalk_vemra100006_20mV_calib-even.log
rm -f "$log6" && mkdir "$log6"
run -o out_dir --force -j 3 tree
expect "unwritable log" "$status|$(grep -c '^failed' err)|$(grep '^failed' err)" \
  "1|1|failed: $even6: Cannot write log file named $log6: Is a directory"
expect "the others are fine" "$(column status | grep -c ok)" $(($(wc -l <out_dir/summary.csv) - 2))
expect "its grade is that of what was read" \
  "$(paste -d' ' <(column path) <(column status) <(column grade) | grep "^$even6 ")" "$even6 failed A"
# Unlike qavrel.exe, the campaign writes no log into a device or a FIFO,
# which would take the table or hold the run up.
rmdir "$log6" && ln -s /dev/full "$log6"
run -o out_dir -q tree
expect "a log that is a device" "$status|$(grep -c "$log6: not a regular file" err)" "1|1"
rm "$log6"
run -o out_dir -q tree
expect "the log is written once it can be" "$status|$(test -f "$log6" && echo there)" "0|there"

# A compressed file cut short is a failure; an intact one is read.
zst=$day/104500_vemra100007/104500_vemra100007_zorik00_link00_20mV_calib-odd_adc.txt.zst
mkdir -p "$(dirname "$zst")"
"${gen[@]}" --trains 3 --cross-talk 0.004 | zstd -q -c >"$zst"
head -c 20000 "$zst" >"${zst%.txt.zst}_cut_adc.txt.gz"
# Cut long ago: not a file still being written.
touch -d '1 hour ago' "${zst%.txt.zst}_cut_adc.txt.gz"
run -o out_dir -q tree
expect "compressed files" "$status|$(grep '^failed' err | cut -d: -f1-2)|$(paste -d' ' <(column path) <(column grade) | grep "$zst")" \
  "1|failed: ${zst%.txt.zst}_cut_adc.txt.gz|$zst A"
# A file whose data fails stays failed, said every run, and is not read
# again until it changes.
analyses=$(sql 'select count(*) from analyses')
pages_before=$(pages)
run -o out_dir tree
expect "a damaged file is not read again" \
  "$status|$(grep -c '^failed: .*_cut_adc.txt.gz' err)|$(sql 'select count(*) from analyses')|$(head -n 1 out | grep -o '([0-9]* unchanged)')|$(pages)" \
  "1|1|$analyses|($(($(column path | wc -l))) unchanged)|$pages_before"
rm "${zst%.txt.zst}_cut_adc.txt.gz"

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

# Two benches: chip 555 failed on bench B on the 7th, and passed its retest
# on bench A on the 8th, whose path sorts first. Given in either order, the
# retest decides; a manifest's time and a pattern's groups outrank the name.
for bench in A B; do
  folder=benches/bench$bench/2026120$([[ $bench == A ]] && echo 8 || echo 7)/100000_vemra555
  mkdir -p "$folder"
  "${gen[@]}" --trains 3 --cross-talk "$([[ $bench == A ]] && echo 0.004 || echo 0.2)" \
    >"$folder/100000_vemra555_zorik00_link00_20mV_calib-odd_adc.txt"
done
for order in "benches/benchA benches/benchB" "benches/benchB benches/benchA"; do
  # shellcheck disable=SC2086 # the two roots, in this order
  run -o benches_out -q --force $order
  expect "a retest on another bench decides ($order)" \
    "$status|$(cut -d, -f2,7,9 benches_out/chips.csv | tail -n 1)" \
    "0|A,1,2026-12-08T10:00:00"
done
bench_b=$(realpath benches/benchB)/20261207/100000_vemra555/100000_vemra555_zorik00_link00_20mV_calib-odd_adc.txt
printf 'path,chip,config,measured_at\n%s,555,20mV_calib-odd,2026-12-09 08:00\n' "$bench_b" >benches/manifest.csv
run -o benches_out -q --manifest benches/manifest.csv benches
expect "a manifest's time outranks the name" \
  "$status|$(cut -d, -f2,8,9 benches_out/chips.csv | tail -n 1)|$(column measured_from benches_out/summary.csv | tr '\n' ' ')" \
  "0|fail,$bench_b,2026-12-09T08:00:00|name manifest "
run -o benches_out -q --pattern '^(?<time>\d{6})_vemra(?<chip>\d+)_\w+?_\w+?_(?<config>.+)_adc\.txt$' benches
expect "a pattern's time, dated by the folder" "$status|$(column measured_from benches_out/summary.csv | tr '\n' ' ')|$(cut -d, -f2 benches_out/chips.csv | tail -n 1)" \
  "0|pattern pattern |A"

# An output folder's store goes on under the bench its files are of: a
# machine renamed (here, a run without --bench after one with it) reads no
# file again and counts each once. A bench named anew joins the others.
run -o renamed_out -q --bench before benches/benchA
run -o renamed_out benches/benchA
expect "a machine renamed keeps its bench" \
  "$status|$(grep -c '^1 data files (1 unchanged)' out)|$(column bench renamed_out/summary.csv)" "0|1|before"
run -o renamed_out -q --bench after benches/benchA
expect "a bench named anew joins the others" \
  "$status|$(column bench renamed_out/summary.csv | tr '\n' ' ')" "0|after before "

# A file still being written, cut in the middle of a line, is left for the
# next run and named, without failing; a complete one as new is graded at
# once; one cut long ago is graded as it is (its cut train shown).
mkdir -p live/20261209
writing=$(realpath live)/20261209/120000_vemra600_zorik00_link00_20mV_calib-odd_adc.txt
done_file=$(realpath live)/20261209/120500_vemra601_zorik00_link00_20mV_calib-odd_adc.txt
"${gen[@]}" --trains 3 --cross-talk 0.004 >"$done_file"
"${gen[@]}" --trains 3 --cross-talk 0.004 | head -c 50001 >"$writing"
run -o live_out live
expect "a file still being written" \
  "$status|$(cat err)|$(column chip live_out/summary.csv)|$(grep -o '; [0-9]* still being written' out)|$(sql 'select count(*) from data_files' live_out/campaign.sqlite)" \
  "0|still being written, left for the next run: $writing|601|; 1 still being written|1"
touch -d '1 minute ago' "$writing"
run -o live_out live
expect "once it has rested, as it is" "$status|$(column chip live_out/summary.csv | tr '\n' ' ')|$(column cut_train_rows live_out/summary.csv | head -n 1 | grep -c '^[1-9]')" \
  "0|600 601 |1"
# --settle 0 grades it however new; a file cut at a line's end, mid-train,
# is unfinished too.
head -c "$(head -n 500 "$done_file" | wc -c)" "$done_file" >"$writing"
run -o live_out --settle 0 live
expect "--settle 0" "$status|$(grep -c 'still being written' err)" "0|0"
touch "$writing"
run -o live_out live
expect "cut mid-train, still being written" "$status|$(grep -c 'still being written, left' err)" "0|1"
# A file just opened, still empty, is left too, and the chip keeps its
# measurement; when nothing is complete yet, the outputs stay as they were.
: >"$(realpath live)/20261209/121000_vemra601_zorik00_link00_20mV_calib-odd_adc.txt"
rm "$writing"
run -o live_out live
expect "an empty file just opened" "$status|$(grep -c 'still being written, left' err)|$(cut -d, -f1,2 live_out/chips.csv | tail -n 1)" \
  "0|1|601,A"
rm "$done_file"
run -o live_out live
expect "nothing complete yet" "$status|$(tail -n 1 err)|$(cut -d, -f1,2 live_out/chips.csv | tail -n 1)" \
  "1|qavrel-campaign: no data file under live is complete yet; the outputs were left as they were|601,A"
# Of two files that share a log, the one still being written is left out
# before the log is given to either: the other writes its own table there.
mkdir -p shared/20261209
first=$(realpath shared)/20261209/130000_vemra602_zorik00_link00_20mV_calib-odd_adc.txt
second=$(realpath shared)/20261209/130500_vemra602_zorik00_link00_20mV_calib-odd_adc.txt
"${gen[@]}" --trains 3 --cross-talk 0.004 --seed 7 >"$first"
"${gen[@]}" --trains 3 --cross-talk 0.004 --seed 8 >"$second"
run -o shared_out -q shared
"${gen[@]}" --trains 3 --cross-talk 0.004 --seed 8 | head -c 30001 >"$second"
run -o shared_out shared
cp "$first" shared_copy_adc.txt
"${qavrel[@]}" 602 20mV_calib-odd ./shared_copy_adc.txt >/dev/null 2>&1
expect "a sharer still being written" \
  "$status|$(paste -d' ' <(column log_written shared_out/summary.csv) <(column shares_log_with shared_out/summary.csv))|$(cmp -s xtalk_vemra602_20mV_calib-odd.log shared/20261209/xtalk_vemra602_20mV_calib-odd.log && echo its table)" \
  "0|true |its table"

# --- What a user can rely on: locks, limits, loose patterns, odd names.

# Another program holds the store past the wait: the run stops with the
# reason before reading a file, the outputs stay as they were, and the next
# run completes it.
snapshot() { md5sum out_dir/summary.csv out_dir/chips.csv out_dir/report.html; }
before=$(snapshot)
# The other program holds the store until it is told to let go.
python3 -c 'import os, sqlite3, sys, time
db = sqlite3.connect(sys.argv[1], isolation_level=None)
db.execute("BEGIN IMMEDIATE")
open("locked", "w").close()
while not os.path.exists("let-go"): time.sleep(0.05)' out_dir/campaign.sqlite &
holder=$!
wait_until "the store to be held" test -e locked
run -o out_dir -q --force --store-wait 0.5 tree
expect "a locked store stops the run" "$status|$(cat err)" \
  "1|qavrel-campaign: the results store in out_dir can't be written: database is locked"
expect "a locked store leaves the outputs" "$(snapshot)" "$before"
touch let-go && wait $holder && rm let-go
run -o out_dir -q --force tree
expect "the next run completes it" "$status|$(grep -c . err)" "0|0"

# A store that is not one, or not a file: the reason, status 1, and the
# outputs as they were.
mkdir broken_store && echo "not a store" >broken_store/campaign.sqlite
run -o broken_store tree
expect "a store that is not a database" "$status|$(cat err)" \
  "1|qavrel-campaign: cannot open the results store in broken_store: file is not a database"
rm broken_store/campaign.sqlite && mkdir broken_store/campaign.sqlite
run -o broken_store tree
expect "a store that is a folder" "$status|$(grep -c 'cannot open the results store in broken_store' err)" "1|1"

# A folder of the outputs that is a link, or an output that is one: the
# campaign writes and removes files only in its own folder.
mkdir elsewhere_chips && echo keep >elsewhere_chips/index.html && echo keep >precious.txt
mv out_dir/chips chips.kept && ln -s "$work/elsewhere_chips" out_dir/chips
run -o out_dir --grades 1%,2%,6% tree
expect "a folder of the outputs that is a link" "$status|$(cat err)|$(cat elsewhere_chips/index.html)" \
  "1|qavrel-campaign: out_dir/chips is not a folder of the campaign's own but a link; move it away, as the campaign writes and removes its outputs there|keep"
rm out_dir/chips && mv chips.kept out_dir/chips
rm out_dir/summary.csv && ln -s "$work/precious.txt" out_dir/summary.csv
run -o out_dir -q tree
expect "an output that is a link" "$status|$(cat precious.txt)|$(test -L out_dir/summary.csv || head -c 5 out_dir/summary.csv)" \
  "0|keep|path,"

# Two runs never share an output folder.
flock out_dir -c 'touch held; while [ ! -e let-go ]; do sleep 0.05; done' &
wait_until "the folder to be held" test -e held
run -o out_dir tree
expect "a folder in use" "$status|$(cat err)" "1|qavrel-campaign: another qavrel-campaign is using out_dir"
touch let-go && wait && rm let-go

# A loose pattern matches the logs too: they are never data, nor is
# anything in the output folder.
data_files=$(($(wc -l <out_dir/summary.csv) - 1))
logs_before=$(find tree -name 'xtalk_vemra*.log' -exec md5sum {} + | sort)
run -o tree/out --pattern 'vemra(?<chip>\d+)_.*?(?<config>\d+mV_calib-(?:odd|even))' tree
expect "loose pattern" "$status|$(head -c 27 out)" "0|$data_files data files (0 unchanged)"
expect "loose pattern leaves the logs" "$(find tree -name 'xtalk_vemra*.log' -exec md5sum {} + | sort)" "$logs_before"
run -o tree/out --pattern 'vemra(?<chip>\d+)_.*?(?<config>\d+mV_calib-(?:odd|even))' tree
expect "nor the outputs" "$status|$(head -c 28 out)" "0|$data_files data files ($data_files unchanged)"
rm -rf tree/out

# One file named in several ways is one file.
run -o out_dir -q --force tree ./tree tree/ "$day/../20261208"
expect "a file found twice" "$status|$(wc -l <out_dir/summary.csv)" "0|$((data_files + 1))"

# A run that was killed left temporaries; the next one removes them, not
# those of a process still running.
stale=$day/101500_vemra100001/.xtalk_vemra100001_20mV_calib-odd.log.999999999-0.tmp
# In the output folder, which one run writes at a time, even one whose
# process id runs now (a run in a container was process 1).
touch "$stale" out_dir/.report.html.999999999-3.tmp out_dir/chips/.1.html.999999999-4.tmp \
  out_dir/index/.chips-1.html.999999999-5.tmp out_dir/plots/.1_odd-0.svg.999999999-6.tmp \
  out_dir/.chips.csv.1-7.tmp "$day/.xtalk_vemra1_odd.log.$$-0.tmp"
run -o out_dir -q tree
expect "stale temporaries" "$status|$(find tree out_dir -name '.*.tmp' -printf '%f ')" \
  "0|.xtalk_vemra1_odd.log.$$-0.tmp "
rm "$day/.xtalk_vemra1_odd.log.$$-0.tmp"

# More workers than the address space allows: the run goes on with fewer.
# An emulator or a sanitizer reserves more address space than that itself.
if ((${#campaign[@]} > 1)) || grep -qa __asan_init "${campaign[-1]}"; then
  skip 1 "-j 1000 within 600 MB (an emulator or a sanitizer)"
else
  mkdir many && for i in $(seq 1 120); do cp "$odd1" "many/${i}_vemra$i""_b_l_odd_adc.txt"; done
  (ulimit -v 600000 && "${campaign[@]}" -j 1000 -o many_out -q many >out 2>err)
  status=$?
  expect "-j 1000 within 600 MB" "$status|$(grep -c . err)|$(ls many_out/plots | wc -l)|$(find many many_out -name '.*.tmp' | wc -l)" "0|0|120|0"
fi

# An archive that must not be written to, and names with odd bytes.
mkdir archive && cp "$odd1" "archive/1_vemra"$'\xff\x01'"7_b_l_odd_adc.txt"
run -o archive_out --no-logs archive
expect "no logs" "$status|$(ls archive | wc -l)|$(column grade archive_out/summary.csv)" "0|1|C"
expect "maps are XML whatever a name holds" "$(python3 -c 'import glob, sys, xml.dom.minidom
for name in glob.glob("archive_out/plots/*.svg"): xml.dom.minidom.parse(name)
print("parsed")')" parsed

# A log that another program emptied is written again; one that is a link
# to a data file is refused, the data kept.
log5=$(ls $day/*100005/xtalk_vemra100005_20mV_calib-even.log)
: >"$log5"
run -o out_dir -q tree
expect "an emptied log" "$status|$(stat -c %s "$log5")" "0|2416"
even5=$(ls $day/*100005/*even_adc.txt)
cp "$even5" even5.kept && rm "$log5" && ln -s "$(basename "$even5")" "$log5"
run -o out_dir -q tree
expect "a log that links to a data file" "$status|$(grep -c 'it is a link to a data file' err)|$(cmp -s "$even5" even5.kept && echo kept)" \
  "1|1|kept"
rm "$log5"
# Nor into the output folder, where the store is, nor to any file named as
# data, found or not.
mkdir -p elsewhere && cp "$even5" elsewhere/kept_adc.txt && cp elsewhere/kept_adc.txt kept.copy
ln -s "$work/out_dir/campaign.sqlite" "$log5"
log5_odd=$(dirname "$log5")/xtalk_vemra100005_20mV_calib-odd.log
mv "$log5_odd" log5_odd.kept && ln -s "$work/elsewhere/kept_adc.txt" "$log5_odd"
run -o out_dir -q --force "$(dirname "$log5")"
expect "links into the output folder and to data" \
  "$status|$(grep -c 'it is a link into the output folder' err)|$(grep -c 'it is a link to a data file' err)|$(sql 'pragma integrity_check')|$(cmp -s elsewhere/kept_adc.txt kept.copy && echo kept)" \
  "1|1|1|ok|kept"
rm "$log5" "$log5_odd"
# The same for links to files that are not there yet, which a write would make.
ln -s "$work/out_dir/chips/new.html" "$log5"
ln -s "$(realpath --relative-to="$(dirname "$log5")" elsewhere)/new_adc.txt" "$log5_odd"
run -o out_dir -q --force "$(dirname "$log5")"
expect "links to files not there yet" \
  "$status|$(grep -c 'into the output folder' err)|$(grep -c 'to a data file' err)|$(ls out_dir/chips/new.html elsewhere/new_adc.txt 2>/dev/null | wc -l)" \
  "1|1|1|0"
rm "$log5" "$log5_odd" && mv log5_odd.kept "$log5_odd" && run -o out_dir -q tree

# A second output folder over the same files: the logs already hold their
# tables, keep their times, and neither campaign reads them again after.
run -o second_out -q tree
run -o out_dir tree
expect "two output folders" "$status|$(head -n 1 out | grep -o '([0-9]* unchanged)')" \
  "0|($(($(wc -l <out_dir/summary.csv) - 1)) unchanged)"

# A file-size limit: the writes fail and are said, nothing is left half
# written, and the next run makes what is missing.
(ulimit -f 40 && "${campaign[@]}" -o out_dir -q --grades 1%,2%,6% tree >out 2>err)
status=$?
expect "a file-size limit" "$status|$(grep -c 'File too large' err | sed 's/^[1-9][0-9]*$/some/')|$(find tree out_dir -name '.*.tmp' | wc -l)" "1|some|0"
run -o out_dir -q tree
expect "after the limit" "$status" 0

# A summary that can't be written is a failure.
"${campaign[@]}" -o out_dir tree >/dev/full 2>err
expect "standard output full" "$?|$(grep -c 'cannot write the summary' err)" "1|1"

# Usage mistakes are named.
run -j 0 tree
expect "-j 0" "$status|$(head -n 1 err)" "2|qavrel-campaign: -j must be at least 1"
run -o '' tree
expect "-o ''" "$status|$(head -n 1 err)" "2|qavrel-campaign: -o needs a folder"
run -o out_dir -j 100000 tree
expect "-j beyond reason" "$status|$(head -n 1 err | cut -d';' -f1)" \
  "0|qavrel-campaign: -j 100000 is more than 8 workers per core"
run --output= tree other
expect "--output=" "$status|$(head -n 1 err)|$(ls tree | grep -c report)" \
  "2|qavrel-campaign: --output= needs a value|0"
for option in --help --version; do
  "${campaign[@]}" "$option" >/dev/full 2>err
  expect "$option to a full disk" "$?|$(cut -d: -f1,2 err)" "1|qavrel-campaign: cannot write the ${option#--}"
done
run --grades 1,2,5 tree
expect "a percent typo" "$status|$(head -n 1 err)" \
  "2|qavrel-campaign: --grades 1,2,5: a limit of 1 or more allows a ratio of 100% or more; for percentages write them with %, as 1%,2%,5%"
run -o out_dir -q --grades 1%,2%,5% tree
expect "percentages" "$status" 0
mkdir empty
run -o empty_out empty
expect "no data files" "$status|$(cat err)" "1|qavrel-campaign: no data files found under empty"
printf '\xEF\xBB\xBFpath,chip,config\n"m.txt",43,calib_odd\nm.txt,44,calib_odd\nchip42-odd.dat,../42,odd\n' >other/manifest.csv
run -o other_out -q --manifest other/manifest.csv
expect "a manifest from a spreadsheet" "$status|$(column chip other_out/summary.csv)|$(grep -c 'line 3 lists' err)|$(grep -c 'holds "/" or ".."' err)" \
  "0|43|1|0"

# ratios.csv holds every ratio of every file, each on its own channel: as
# the log prints it, each is what the log holds at that peak and channel.
# Without --ratios-csv an earlier one goes; with it again, it follows the
# files that changed since.
ratios_match_logs() {
  python3 -c 'import csv, collections, sys
rows = collections.defaultdict(dict)
for row in csv.DictReader(open("out_dir/ratios.csv", newline="")):
    rows[row["path"]][(int(row["peak"]), int(row["channel"]))] = row["ratio"]
checked = wrong = 0
for row in csv.DictReader(open("out_dir/summary.csv", newline="")):
    if row["log_written"] != "true":
        continue
    lines = open(row["log_path"]).read().split("\n")
    channels = [int(cell) for cell in lines[0].split()[3::2]]
    for peak in range(15):
        cells = lines[1 + peak].split()[1:]
        for channel, cell in zip(channels, cells):
            ratio = float(rows[row["path"]][(peak, channel)])
            shown = "-nan" if ratio != ratio else "%.1e" % ratio
            # The store keeps a zero without its sign, as the README says.
            cell = "0.0e+00" if cell == "-0.0e+00" else cell
            checked += 1
            wrong += shown != cell
print(checked, wrong, len(rows))'
}
run -o out_dir -q --ratios-csv tree
expect "ratios.csv as the logs hold them" "$status|$(ratios_match_logs)" "0|$((240 * $(column log_written | grep -c true))) 0 $(($(column parity | grep -c .)))"
run -o out_dir -q tree
expect "no ratios.csv unless asked for" "$status|$(ls out_dir | grep -c ratios.csv)" "0|0"
"${gen[@]}" --trains 3 --cross-talk 0.02 --seed 8 >"$odd1"
run -o out_dir -q --ratios-csv tree
expect "ratios.csv after a file changed" "$status|$(ratios_match_logs | cut -d' ' -f2)" "0|0"

# More chips than a page of a list holds: every list's pages are there, and
# every link of every page leads to a file that is there, and an anchor in
# it; when the chips fit one page again, the second pages go.
links_lead_somewhere() {
  python3 -c 'import html, os, re, sys
pages = broken = 0
for folder, _, names in os.walk(sys.argv[1]):
    for name in names:
        if not name.endswith(".html"):
            continue
        pages += 1
        page = os.path.join(folder, name)
        for href in re.findall(r"href=\"([^\"]*)\"", open(page, encoding="utf-8").read()):
            target, _, anchor = html.unescape(href).partition("#")
            path = os.path.normpath(os.path.join(folder, target)) if target else page
            if not os.path.isfile(path) or (anchor and ("id=\"%s\"" % anchor) not in open(path, encoding="utf-8").read()):
                broken += 1
                print("broken:", page, href, file=sys.stderr)
print(pages, broken)' "$1"
}
mkdir lists
for chip in $(seq 200000 201001); do echo "1 2 3" >"lists/100000_vemra${chip}_b_l_odd_adc.txt"; done
run -o lists_out -q lists
expect "more than a page of chips" "$status|$(ls lists_out/index | tr '\n' ' ')|$(links_lead_somewhere lists_out | cut -d' ' -f2)" \
  "0|chips-1.html chips-2.html chips.js not-a-1.html not-a-2.html problems.html report.js |0"
rm lists/100000_vemra20100[01]_b_l_odd_adc.txt
run -o lists_out -q lists
expect "a page of chips again" "$status|$(ls lists_out/index | tr '\n' ' ')|$(links_lead_somewhere lists_out | cut -d' ' -f2)" \
  "0|chips-1.html chips.js not-a-1.html problems.html report.js |0"
expect "links of the example's report" "$(links_lead_somewhere out_dir | cut -d' ' -f2)" 0

# Interrupted with in-flight work: that file finishes, no new one starts,
# the store stays whole, and the next run carries on. A FIFO holds the
# fourth file (after the three of chip 100001) back until the signal has
# been sent.
rm -rf out_dir
fifo=$day/102000_vemra100002/102000_vemra100002_zorik00_link00_20mV_calib-fifo-odd_adc.txt
mkfifo "$fifo"
"${campaign[@]}" -o out_dir -j 1 -q "$day/101500_vemra100001" "$fifo" "$day/102500_vemra100003" >out 2>err &
pid=$!
wait_until "the run to open the FIFO" blocked_on_fifo $pid
kill -INT $pid
wait_until "the signal to be taken" signals_taken $pid
# The FIFO is opened under the timeout too, should the reader never come.
timeout 60 bash -c '"${@:2}" >"$1"' - "$fifo" "${gen[@]}" --trains 3 --cross-talk 0.015
wait $pid
status=$?
expect "interrupted" "$status|$(sql 'select count(*) from analyses')|$(sql 'pragma integrity_check')" \
  "130|4|ok"
# The file that never started did not fail.
expect "nothing listed as failed" "$(grep -c '^failed' err)" 0
# Each analysed file's plot is whole; the outputs of the whole campaign wait.
expect "no partial output" "$(ls out_dir/plots | wc -l)|$(ls out_dir/*.csv out_dir/*.html 2>/dev/null | wc -l)|$(find tree out_dir -name '.*.tmp' | wc -l)" "4|0|0"
run -o out_dir "$day/101500_vemra100001" "$day/102500_vemra100003"
expect "resumed" "$status|$(sql 'select count(*) from analyses')|$(head -c 26 out)" "0|6|5 data files (3 unchanged)"

# A file that never ends holds the first signal back; a second one, of
# either kind, ends the run at once.
"${campaign[@]}" -o out_dir -q --force "$fifo" >out 2>err &
pid=$!
wait_until "the run to open the FIFO" blocked_on_fifo $pid
kill -TERM $pid
wait_until "the first signal to be taken" signals_taken $pid
kill -TERM $pid
timeout 10 tail --pid=$pid -f /dev/null
expect "a second signal" "$(kill -0 $pid 2>/dev/null && echo running)" ""
wait $pid
expect "ended by it, saying so" "$?|$(cut -d';' -f1 err)" "143|qavrel-campaign: stopped at once"
rm "$fifo"

# A signal while the outputs are written: those not yet replaced stay as
# they were, and the run ends as the signal ends it. A FIFO in place of
# summary.csv holds the writing until the signal has come.
rm out_dir/summary.csv && mkfifo out_dir/summary.csv
"${campaign[@]}" -o out_dir -q "$day/101500_vemra100001" "$day/102500_vemra100003" >out 2>err &
pid=$!
wait_until "the run to come to summary.csv" blocked_on_fifo $pid
kill -INT $pid
wait_until "the signal to be taken" signals_taken $pid
timeout 10 cat out_dir/summary.csv >/dev/null
wait $pid
expect "a signal while writing the outputs" "$?|$(grep -c 'stopped while writing the outputs' err)" "130|1"
rm out_dir/summary.csv

# A chip no longer in the campaign loses its page and its maps.
rm -r "$day/104000_vemra100006"
run -o out_dir -q tree
expect "a chip gone" "$status|$(ls out_dir/chips/100006.html out_dir/plots/100006_* 2>/dev/null | wc -l)" "0|0"

# The report opens in a real browser, with one map per data file.
browser=$(command -v chromium || command -v chromium-browser || true)
if [[ -z $browser ]]; then
  skip 1 "the report in a browser (no chromium)"
else
  run -o out_dir -q tree
  # render PAGE: the page's document as the browser made it.
  render() {
    timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
      --disable-background-networking --disable-component-update --disable-sync \
      --user-data-dir="$work/browser" --dump-dom "file://$work/out_dir/$1" 2>/dev/null
  }
  # The histogram, four trends (day, bench, board, link) and the channels.
  expect "the front page in the browser" "$(render report.html | grep -o '<svg[^>]*class="chart"' | wc -l)" 6
  chip_page=$(render chips/100004.html)
  expect "a chip page in the browser" "$(grep -o '<svg[^>]*class="map"' <<<"$chip_page" | wc -l)|$(grep -o '<svg[^>]*class="chart"' <<<"$chip_page" | wc -l)" "4|1"
fi

finish
