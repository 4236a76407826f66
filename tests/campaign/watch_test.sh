#!/usr/bin/env bash
# qavrel-campaign --watch as a bench runs it: files that arrive in a folder
# made after the start, by a rename and by a slow write, are graded once
# each, a line each, and the outputs follow; files deleted or moved away
# go; a batch run is kept out; SIGTERM ends it; and what it leaves is what
# a --force run writes afresh. The script waits for conditions, a minute at
# most, never for a time; only the slow writer pauses, as a robot does.
# usage: watch_test.sh QAVREL_CAMPAIGN QAVREL QAVREL_GEN [EMULATOR...]
set -u
campaign=("${@:4}" "$(realpath "$1")")
gen=("${@:4}" "$(realpath "$3")")
here=$(realpath "$(dirname "$0")")
# shellcheck source=../support/checks.sh
source "$here/../support/checks.sh"

column() {
  python3 -c 'import csv, sys
for row in csv.DictReader(open(sys.argv[2], newline="", errors="surrogateescape")):
  print(row[sys.argv[1]])' "$1" "${2:-out/summary.csv}"
}
lines_for() { grep -c -- " $1\$" watch.out; }
has_line() { [[ $(lines_for "$1") -ge 1 ]]; }
in_chips() { grep -q "^$1," out/chips.csv; }
not_in_summary() { ! column path | grep -qxF -- "$1"; }
said() { grep -q -- "$1" watch.err; }
same_outputs() { python3 "$here/outputs.py" out clean_out >/dev/null 2>&1; }

"${gen[@]}" --campaign tree --trains 3
tree=$(realpath tree)

# Waits for files to rest 3 s: longer than the slow writer's pauses.
"${campaign[@]}" --watch --settle 3 -o out tree >watch.out 2>watch.err &
watcher=$!
wait_until "the watch to start" said "watching for new and changed data files"

# A folder made after the start, and a file renamed into it whole.
day=$tree/20261210/080000_vemra700
mkdir -p "$day"
renamed=$day/080000_vemra700_zorik00_link00_20mV_calib-odd_adc.txt
"${gen[@]}" --trains 3 --cross-talk 0.012 >"$day/.incoming"
mv "$day/.incoming" "$renamed"
wait_until "the renamed file's line" has_line "$renamed"
wait_until "chips.csv to show chip 700" in_chips 700
# The time measured, chip, configuration, grade, worst |mean ratio| with
# its channel, and the path, as summary.csv has them.
worst=$(python3 -c 'import csv, sys
for row in csv.DictReader(open("out/summary.csv")):
  if row["path"] == sys.argv[1]: print("%.2f%% ch %s" % (100 * float(row["max_abs_mean_ratio"]), row["channel"]))' "$renamed")
expect "its line" "$(grep -- "$renamed" watch.out)" "2026-12-10T08:00:00 700 20mV_calib-odd B $worst $renamed"
wait_until "chip 700's page" test -f out/chips/700.html

# A file written slowly in place, in three pieces: graded once, whole.
slow=$day/080500_vemra701_zorik00_link00_20mV_calib-even_adc.txt
"${gen[@]}" --trains 3 --cross-talk 0.004 --parity even >whole.txt
size=$(stat -c %s whole.txt)
{
  head -c $((size / 3)) whole.txt
  sleep 0.3
  head -c $((2 * size / 3)) whole.txt | tail -c +$((size / 3 + 1))
  sleep 0.3
  tail -c +$((2 * size / 3 + 1)) whole.txt
} >"$slow"
wait_until "the slow file's line" has_line "$slow"
wait_until "chips.csv to show chip 701" in_chips 701
expect "graded once, whole" "$(lines_for "$slow")|$(column trains | paste -d' ' - <(column path) | grep -- "$slow" | cut -d' ' -f1)" "1|3"
# Each file is read once: the first run's files are not read again.
expect "a line, and an analysis, per file that came" \
  "$(grep -c -- ' ch ' watch.out)|$(python3 -c 'import sqlite3; print(sqlite3.connect("out/campaign.sqlite").execute("select count(*) from analyses").fetchone()[0])')" \
  "2|14"

# Half a file dated ahead of this clock, then left alone: once it has
# rested after its time, it is graded as it is.
ahead=$day/081000_vemra702_zorik00_link00_20mV_calib-odd_adc.txt
head -c 30001 whole.txt >"$day/.ahead"
touch -d '+2 seconds' "$day/.ahead"
mv "$day/.ahead" "$ahead"
wait_until "the file dated ahead to be said still being written" said "left for the next run: $ahead"
wait_until "the file dated ahead to be graded" has_line "$ahead"

# A batch run on the same folder is kept out while the watch runs.
"${campaign[@]}" -q -o out tree >batch.out 2>batch.err
expect "a batch run meanwhile" "$?|$(cat batch.err)" "1|qavrel-campaign: another qavrel-campaign is using out"

# A file deleted, and one moved out of the tree, go from the outputs.
rm "$slow"
wait_until "the deleted file to go" not_in_summary "$slow"
mv "$renamed" moved_adc.txt
wait_until "the moved file to go" not_in_summary "$renamed"
wait_until "chip 700 to go" test ! -e out/chips/700.html
# A folder removed, with what it held.
rm -r "$tree/20261208/103500_vemra100005"
wait_until "the removed folder's files to go" not_in_summary \
  "$tree/20261208/103500_vemra100005/103500_vemra100005_zorik00_link00_20mV_calib-odd_adc.txt"

# The folder watched removed, and made again: what comes in it is graded.
rm -r "$tree"
wait_until "the removed folder to be said" said "no data files found under tree"
mkdir -p "$tree/20261211/090000_vemra703"
again=$tree/20261211/090000_vemra703/090000_vemra703_zorik00_link00_20mV_calib-odd_adc.txt
"${gen[@]}" --trains 3 --cross-talk 0.004 >"$again"
wait_until "a file in the folder made again" has_line "$again"
wait_until "the removed folder's chips to go" test ! -e out/chips/100001.html

# Once the watch has caught up, its outputs are what a clean run writes.
"${campaign[@]}" -q --force -o clean_out tree >/dev/null 2>&1
wait_until "the outputs of a clean run" same_outputs

# SIGTERM then ends it between batches, as a run ends, leaving them so.
kill -TERM "$watcher"
wait "$watcher"
expect "ended by SIGTERM" "$?|$(tail -n 1 watch.err)" \
  "143|qavrel-campaign: stopped watching; the outputs are up to date with every batch that ended."
expect "the outputs of a clean run, still" "$(python3 "$here/outputs.py" out clean_out 2>&1)" ""
expect "usage: --rescan without --watch" \
  "$("${campaign[@]}" --rescan 5 -o out tree 2>&1 >/dev/null | head -n 1)" \
  "qavrel-campaign: --rescan needs --watch"

finish
