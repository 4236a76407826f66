#!/usr/bin/env bash
# One campaign that several benches share in a PostgreSQL store, against a
# real server of the test's own: four benches at once and the report from
# the store alone; a server out of reach at the start; a server stopped in
# the middle of a run; two runs of one bench; names of any bytes; a watch
# that loses the server; and a store of a later version.
# usage: shared_store_test.sh QAVREL_CAMPAIGN QAVREL QAVREL_GEN [EMULATOR...]
set -u
campaign=("${@:4}" "$(realpath "$1")")
gen=("${@:4}" "$(realpath "$3")")
here=$(dirname "$(realpath "$0")")
# shellcheck source=../support/postgres_server.sh
source "$here/../support/postgres_server.sh"
require_postgres_server
# shellcheck source=../support/checks.sh
source "$here/../support/checks.sh"
# The server runs as nobody when the test runs as root, in a folder of ours.
chmod o+x "$work"
server=$work/pg
url=$(postgres_server_start "$server") || {
  echo "FAIL: the test's server did not start" >&2
  exit 1
}
trap 'postgres_server_stop "$server" immediate 2>/dev/null; rm -rf "$work"' EXIT
psql=("$(postgres_bindir)/psql" -X -q -A -t -v ON_ERROR_STOP=1)

# database NAME: a new, empty database, and its connection string.
database() {
  "${psql[@]}" "$url" -c "CREATE DATABASE \"$1\"" >/dev/null
  echo "${url/dbname=postgres/dbname=$1}"
}
# query URL SQL: rows as "a|b".
query() { "${psql[@]}" "$1" -c "$2"; }
run() {
  "${campaign[@]}" "$@" >out 2>err
  status=$?
}
# without_bench CSV: the table without the columns that name benches, and
# with the times of analyses masked.
without_bench() {
  python3 -c 'import csv, re, sys
rows = csv.reader(open(sys.argv[1], newline="", errors="surrogateescape"))
header = next(rows)
kept = [i for i, name in enumerate(header) if name != "bench" and not name.endswith("_bench")]
for row in [header] + list(rows):
  print(re.sub(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", "TIME", ",".join(row[i] for i in kept)))' "$1"
}
# same_outputs OUT CLEAN: the outputs of two folders are the same, the
# times of analyses aside.
same_outputs() {
  python3 -c 'import sys
sys.path.insert(0, sys.argv[1])
import outputs
found = outputs.differences(outputs.snapshot(sys.argv[2], views=False),
                            outputs.snapshot(sys.argv[3], views=False))
print("\n".join(found[:5]))
sys.exit(1 if found else 0)' "$here" "$1" "$2"
}

# A server out of reach: one line, status 1, and nothing written or read:
# no output folder, no log. A password in the string is never shown.
"${gen[@]}" --campaign-of 4 small >/dev/null
run --store "postgresql://qavrel:hunter2@/campaign?host=$work/nowhere" -o unreached small
expect "unreachable: status" "$status" 1
expect "unreachable: one line" "$(wc -l <err)" 1
expect "unreachable: says where, masked" "$(grep -c "at postgresql://qavrel:\*\*\*@/campaign" err)" 1
expect "unreachable: no password" "$(cat err out | grep -c hunter2)" 0
expect "unreachable: no output folder" "$([[ -e unreached ]] && echo made)" ""
expect "unreachable: no log" "$(find small -name '*.log' | wc -l)" 0

# Four benches at once, 500 files each, the same chips on each (retests
# across benches, ordered by when each file was measured); then the report
# from the store alone, with the data moved away, against one SQLite run
# over all four trees.
four=$(database four)
for n in 1 2 3 4; do
  "${gen[@]}" --campaign-of 500 "tree$n" >/dev/null
  touch -d "-$((5 - n)) hours" tree"$n"/d0000/*_adc.txt
done
# Some of the chips were measured last on an earlier tree.
touch -d "-1 minute" tree1/d0000/1000[0-4]*_adc.txt
statuses=()
for n in 1 2 3 4; do
  "${campaign[@]}" -q -j 1 --store "$four" --bench "bench $((5 - n))" -o "out$n" "tree$n" \
    >/dev/null 2>"err$n" &
  pids+=($!)
done
for pid in "${pids[@]}"; do
  wait "$pid"
  statuses+=($?)
done
expect "four benches: statuses" "${statuses[*]}" "0 0 0 0"
expect "four benches: files in the store" "$(query "$four" "SELECT count(*) FROM qavrel_campaign.data_files")" 2000
expect "four benches: benches" "$(query "$four" "SELECT count(DISTINCT bench) FROM qavrel_campaign.analyses")" 4
run -q -j 2 -o alone tree1 tree2 tree3 tree4
expect "one SQLite run: status" "$status" 0
mkdir moved && mv tree1 tree2 tree3 tree4 moved/
run --report-only --store "$four" -o report
expect "report only: status" "$status" 0
expect "report only: chips.csv up to the bench" "$(without_bench report/chips.csv)" \
  "$(without_bench alone/chips.csv)"
expect "report only: summary.csv up to the bench" "$(without_bench report/summary.csv)" \
  "$(without_bench alone/summary.csv)"
expect "report only: a page per chip" "$(ls report/chips | wc -l)" "$(ls alone/chips | wc -l)"
expect "report only: a map per file" "$(ls report/plots | wc -l)" 2000
expect "report only: benches in summary.csv" \
  "$(python3 -c 'import csv, sys
print(sorted({r["bench"] for r in csv.DictReader(open(sys.argv[1]))}))' report/summary.csv)" \
  "['bench 1', 'bench 2', 'bench 3', 'bench 4']"
# The 25 chips measured last on tree1 (bench 4) are current there, the
# others on tree4 (bench 1).
expect "report only: retests across benches" \
  "$(grep -c /tree1/d0000/1000[0-4] report/chips.csv) $(grep -c /tree4/ report/chips.csv)" "25 225"
mv moved/tree* .
# A bench's own run writes the same campaign, every bench's files in it.
run -q --store "$four" --bench "bench 2" -o out3 tree3
expect "a bench's run: status" "$status" 0
expect "a bench's run: the whole campaign's chips.csv" "$(cat out3/chips.csv)" "$(cat report/chips.csv)"

# The server stopped in the middle of a run, and started again: the run
# says so with status 1, keeps the logs it wrote, and the next completes,
# equal to a run that was never stopped.
stopped=$(database stopped)
"${gen[@]}" --campaign-of 600 big >/dev/null
"${campaign[@]}" -q -j 1 --store "$stopped" -o stopped_out big >/dev/null 2>stop_err &
pid=$!
analysed() { [[ $(query "$stopped" "SELECT count(*) FROM qavrel_campaign.analyses" 2>/dev/null) -ge 30 ]]; }
wait_until "30 files stored" analysed
postgres_server_stop "$server" immediate
wait "$pid"
expect "server stopped: status" "$?" 1
expect "server stopped: says so" "$(grep -q "results store at host=$server" stop_err && echo yes)" yes
expect "server stopped: logs kept" "$(($(find big -name '*.log' | wc -l) > 0))" 1
postgres_server_start "$server" >/dev/null
run -q -j 2 --store "$stopped" -o stopped_out big
expect "after the stop: status" "$status" 0
run -q -j 2 --store "$(database never_stopped)" -o never_stopped big
expect "after the stop: outputs equal an uninterrupted run's" "$(same_outputs stopped_out never_stopped)" ""

# Two runs of one bench exclude each other; another bench's does not wait.
fifo=$work/100000_vemra9_b_l_20mV_calib-odd_adc.txt
mkfifo "$fifo"
held=$(database held)
"${campaign[@]}" -q --store "$held" --bench one -o held_out "$fifo" >/dev/null 2>held_err &
pid=$!
wait_until "the first run to wait for its data" blocked_on_fifo "$pid"
run -q --store "$held" --bench one --store-wait 0.5 -o other_out small
expect "same bench: refused" "$status" 1
expect "same bench: says why" "$(grep -c "another run of bench one" err)" 1
run -q --store "$held" --bench two -o other_out small
expect "another bench: runs" "$status" 0
timeout 60 bash -c '"${@:2}" >"$1"' - "$fifo" "${gen[@]}" --trains 2
wait "$pid"
expect "same bench: the first ends" "$?" 0

# Names with quotes, backslashes, a newline and a byte that is not UTF-8
# come back as they were: the next run finds every file unchanged.
names=$(database names)
odd="odd/d"
mkdir -p "$odd"
"${gen[@]}" --trains 2 --seed 1 >"$odd/"$'100000_vemra1\'"\\x_b_l_20mV_calib-odd_adc.txt'
"${gen[@]}" --trains 2 --seed 2 >"$odd/"$'100000_vemra2\xff\nz_b_l_20mV_calib-odd_adc.txt'
run --store "$names" -o names_out odd
expect "odd names: first run" "$status" 0
run --store "$names" -o names_out odd
expect "odd names: unchanged" "$(grep -c '^2 data files (2 unchanged)' out)" 1
run -o names_sqlite odd
expect "odd names: summary.csv as SQLite's" "$(without_bench names_out/summary.csv)" \
  "$(without_bench names_sqlite/summary.csv)"

# A watch that loses the server says so, tries again, and grades the file
# that came meanwhile once the server is back. The password in its string
# (which the test's server does not ask for) is not in the process list
# while it watches; an emulator keeps its own copy of the arguments.
watched=$(database watched)
mkdir -p watch_tree/d
"${gen[@]}" --trains 2 --seed 3 >watch_tree/d/100000_vemra5_b_l_20mV_calib-odd_adc.txt
"${campaign[@]}" --watch --settle 0 --store "$watched password=hunter2" -o watch_out watch_tree \
  >watch_lines 2>watch_err &
pid=$!
wait_until "the watch to start" grep -q watching watch_err
(($# > 3)) || expect "watch: no password in the process list" \
  "$(tr '\0' ' ' <"/proc/$pid/cmdline" | grep -c hunter2)|$(tr '\0' ' ' <"/proc/$pid/cmdline" | grep -c 'password=\*\*\*')" "0|1"
postgres_server_stop "$server" immediate
"${gen[@]}" --trains 2 --seed 4 >watch_tree/d/100100_vemra6_b_l_20mV_calib-odd_adc.txt
wait_until "the watch to see the store gone" grep -q "trying the results store again" watch_err
postgres_server_start "$server" >/dev/null
# It says the store is back once the batch that found it so has ended,
# after the batch's own lines.
wait_until "the watch to say the store is back" grep -q "the results store is back" watch_err
expect "watch: store back, said once" "$(grep -c "the results store is back" watch_err)" 1
expect "watch: the new file graded" "$(grep -q vemra6 watch_lines && echo yes)" yes
# Another bench's file, which no event here tells, joins the watch's
# outputs all the same.
mkdir -p elsewhere/d
"${gen[@]}" --trains 2 --seed 5 >elsewhere/d/100200_vemra7_b_l_20mV_calib-odd_adc.txt
run -q --store "$watched" --bench elsewhere -o elsewhere_out elsewhere
expect "watch: another bench's run" "$status" 0
wait_until "the watch to show another bench's file" grep -q vemra7 watch_out/summary.csv
kill -INT "$pid"
wait "$pid"
expect "watch: in the store" "$(query "$watched" "SELECT count(*) FROM qavrel_campaign.data_files")" 3

# A store without a file yet makes no output folder; --store needs a URL.
empty=$(database empty)
run --report-only --store "$empty" -o empty_out
expect "empty store: status" "$status|$([[ -e empty_out ]] && echo made)" "1|"
run --store "" -o no_store small
expect "empty URL: usage" "$status|$([[ -e no_store ]] && echo made)" "2|"

# A store of a later version is refused, naming both versions.
query "$four" "UPDATE qavrel_campaign.store_layout SET layout = 99, written_by = '9.9.9'" >/dev/null
run --report-only --store "$four" -o later
expect "later store: refused" "$status" 1
expect "later store: names both" "$(grep -c "made by qavrel-campaign 9.9.9 (store layout 99)" err)" 1

finish
