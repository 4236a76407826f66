#!/usr/bin/env bash
# The cases in which a rerun once differed from a clean run, each as a
# user met it: a run stopped while it wrote the report, a folder that could
# not be searched, two files with one log, a value at a grade limit, an old
# store, names that are not UTF-8. After each, the outputs must be those a
# --force run writes into a fresh folder. Runs are stopped at a chosen
# point by holding an output back with a FIFO, and the script waits for
# conditions (the campaign blocked on the FIFO, the signal taken), never
# for a time.
# usage: rerun_cases_test.sh QAVREL_CAMPAIGN QAVREL QAVREL_GEN [EMULATOR...]
set -u
campaign=("${@:4}" "$(realpath "$1")")
qavrel=("${@:4}" "$(realpath "$2")")
gen=("${@:4}" "$(realpath "$3")")
here=$(realpath "$(dirname "$0")")
# shellcheck source=../support/checks.sh
source "$here/../support/checks.sh"

run() {
  "${campaign[@]}" "$@" >out 2>err
  status=$?
}
column() {
  python3 -c 'import csv, sys
for row in csv.DictReader(open(sys.argv[2], newline="", errors="surrogateescape")):
  print(row[sys.argv[1]])' "$1" "$2"
}
sql() {
  python3 -c 'import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.text_factory = lambda b: b.decode(errors="surrogateescape")
for row in db.execute(sys.argv[2]): print("|".join(map(str, row)))' "$1" "$2"
}
log_sums() { find "$1" -name 'xtalk_vemra*.log' -exec md5sum {} + | sort; }

# same_as_clean NAME OUT TREE [OPTIONS...]: the outputs in OUT, and the logs
# under TREE, are those a --force run over TREE with OPTIONS makes afresh.
same_as_clean() {
  local name=$1 out=$2 tree=$3 logs
  shift 3
  logs=$(log_sums "$tree")
  rm -rf clean_out
  "${campaign[@]}" -q --force -o clean_out "$@" "$tree" >/dev/null 2>&1
  expect "$name: the outputs of a clean run" "$(python3 "$here/outputs.py" "$out" clean_out 2>&1)" ""
  expect "$name: the logs of a clean run" "$(log_sums "$tree")" "$logs"
}

# stop_at_page OUT PAGE SIGNAL ARGS...: runs the campaign into OUT with
# ARGS, holds it when it comes to write PAGE (a FIFO in its place), sends it
# SIGNAL there, and lets it end; PAGE is then as it was before.
stop_at_page() {
  local out=$1 page=$2 sent=$3 pid
  shift 3
  cp "$out/$page" page.kept && rm "$out/$page" && mkfifo "$out/$page"
  "${campaign[@]}" -q -o "$out" "$@" >out 2>err &
  pid=$!
  wait_until "the run to reach $page" blocked_on_fifo $pid
  kill "-$sent" $pid
  [[ $sent == KILL ]] || wait_until "the signal to be taken" signals_taken $pid
  # Opening the FIFO lets a live run go on, into the stop.
  [[ $sent == KILL ]] || timeout 60 cat "$out/$page" >/dev/null
  # The shell's own word on a job it killed is not the test's.
  { wait $pid; } 2>/dev/null
  status=$?
  rm "$out/$page" && mv page.kept "$out/$page"
}

"${gen[@]}" --campaign tree --trains 2
day=$(realpath tree)/20261208
run -o out_dir tree

# 1. Stopped while the chip pages are written with stricter grades: the
# pages written before the stop must not outlive it.
for sent in INT TERM KILL; do
  stop_at_page out_dir chips/100004.html $sent --grades 0.5%,1%,2% tree
  expect "stopped by $sent while writing pages" "$status" \
    "$(case $sent in INT) echo 130 ;; TERM) echo 143 ;; KILL) echo 137 ;; esac)"
  run -o out_dir tree
  expect "the run after the stop by $sent" "$status" 0
  same_as_clean "stopped by $sent while writing pages" out_dir tree
done
# ... and a retest folder removed after the stop.
retest=$(realpath tree)/20261209/090000_vemra100002
mkdir -p "$retest" && cp "$day"/*100002/*odd_adc.txt "$retest/090000_vemra100002_zorik00_link00_20mV_calib-odd_adc.txt"
run -o out_dir tree
stop_at_page out_dir chips/100004.html INT --grades 0.5%,1%,2% tree
rm -r "$(dirname "$retest")"
run -o out_dir tree
same_as_clean "a retest removed after a stop" out_dir tree

# Outputs a file-size limit kept from being written: the same command
# without the limit writes them.
(ulimit -f 40 && "${campaign[@]}" -q -o out_dir --grades 0.5%,1%,2% tree >out 2>err)
expect "a file-size limit" "$?|$(grep -c 'File too large' err | sed 's/^[1-9][0-9]*$/some/')" "1|some"
run -o out_dir --grades 0.5%,1%,2% tree
same_as_clean "outputs a file-size limit held back" out_dir tree --grades 0.5%,1%,2%
run -o out_dir tree

# 2. A chip's page written just before the run was killed, whose chip's
# files are then deleted, goes with them, with --force or without.
new_chip=$day/095000_vemra100000
mkdir "$new_chip" && cp "$day"/*100001/*odd_adc.txt "$new_chip/095000_vemra100000_zorik00_link00_20mV_calib-odd_adc.txt"
stop_at_page out_dir chips/100003.html KILL tree
expect "the new chip's page was written" "$(test -f out_dir/chips/100000.html && echo there)" there
rm -r "$new_chip"
run -o out_dir tree
expect "a gone chip's page goes" "$status|$(ls out_dir/chips | grep -c 100000)" "0|0"
same_as_clean "a page of a killed run" out_dir tree

# 4. The views hold the files of the last search, as summary.csv does.
mv "$day/104000_vemra100006" "$(realpath tree)/moved"
rm "$day"/*100005/*even_adc.txt
run -o out_dir tree
expect "the views after files moved and deleted" \
  "$(sql out_dir/campaign.sqlite 'select count(*) from latest_analyses')|$(sql out_dir/campaign.sqlite "select count(*) from latest_analyses where path like '%104000_vemra100006/%' or path like '%100005%even%'")" \
  "$(($(column path out_dir/summary.csv | wc -l)))|0"
expect "each view row is the newest analysis of its file" \
  "$(sql out_dir/campaign.sqlite 'select path, worst_abs_mean_ratio from latest_analyses order by path' | sed 's/|None$/|/')" \
  "$(paste -d'|' <(column path out_dir/summary.csv) <(column max_abs_mean_ratio out_dir/summary.csv) | LC_ALL=C sort |
    python3 -c 'import sys
for line in sys.stdin:
  path, ratio = line.rstrip("\n").rsplit("|", 1)
  print(path + "|" + (repr(float(ratio)) if ratio else ""))')"
same_as_clean "files moved and deleted" out_dir tree

# Two files of one size and one modification time swapped (as a copy that
# keeps times, or an archive unpacked, may leave them): each is read again.
mkdir swap
"${gen[@]}" --trains 2 --seed 1 --cross-talk 0.005 >swap/1_vemraP_b_l_odd_adc.txt
"${gen[@]}" --trains 2 --seed 1 --cross-talk 0.04 >swap/1_vemraQ_b_l_odd_adc.txt
touch -d '2026-12-01 10:00' swap/*
expect "two files of one size" "$(stat -c %s swap/* | uniq | wc -l)" 1
run -o swap_out swap
mv swap/1_vemraP_b_l_odd_adc.txt swap/t && mv swap/1_vemraQ_b_l_odd_adc.txt swap/1_vemraP_b_l_odd_adc.txt &&
  mv swap/t swap/1_vemraQ_b_l_odd_adc.txt
run -o swap_out swap
expect "swapped files are read again" "$(column grade swap_out/summary.csv | tr '\n' ' ')" "C A "
same_as_clean "two files swapped" swap_out swap

# 5. Two files whose chip and configuration spell one log name share it:
# one owns it, both say so, and reruns settle.
mkdir shared
"${gen[@]}" --trains 2 --cross-talk 0.004 --seed 1 >shared/W1_03__cal-odd_adc.txt
"${gen[@]}" --trains 2 --cross-talk 0.03 --seed 2 >shared/W1__03_cal-odd_adc.txt
pattern='^(?<chip>[A-Z0-9]+(?:_[0-9]+)?)__(?<config>.+)_adc\.txt$'
run -o shared_out --pattern "$pattern" shared
expect "one log, two files" \
  "$(paste -d' ' <(column chip shared_out/summary.csv) <(column log_written shared_out/summary.csv) <(column shares_log_with shared_out/summary.csv | sed 's|.*/||'))" \
  "W1_03 false W1__03_cal-odd_adc.txt
W1 true W1_03__cal-odd_adc.txt"
"${qavrel[@]}" W1 03_cal-odd "$(realpath shared)/W1__03_cal-odd_adc.txt" >/dev/null
cp shared/xtalk_vemraW1_03_cal-odd.log owner.log
run -o shared_out --pattern "$pattern" shared
expect "its owner's table" "$(cmp -s shared/xtalk_vemraW1_03_cal-odd.log owner.log && echo same)" same
stamp=$(stat -c %Y.%y shared/xtalk_vemraW1_03_cal-odd.log)
run -o shared_out --pattern "$pattern" shared
expect "reruns settle" "$(head -c 26 out)|$(stat -c %Y.%y shared/xtalk_vemraW1_03_cal-odd.log)" \
  "2 data files (2 unchanged)|$stamp"

# 6. A file whose log a later file now owns says it no longer writes it,
# as a clean run does.
mkdir owner
cp "$day"/*100001/*odd_adc.txt owner/1_vemra9_b_l_odd_adc.txt
run -o owner_out owner
cp "$day"/*100002/*odd_adc.txt owner/2_vemra9_b_l_odd_adc.txt
run -o owner_out owner
expect "the log's owner" "$(column log_written owner_out/summary.csv | tr '\n' ' ')" "false true "
same_as_clean "a log taken over" owner_out owner

# 7. A mean exactly at a limit takes the better grade, and reads as the
# limit: fifteen peaks of -0.05 make 5.00% and C, of -0.03 with the limit
# 3% make B.
at_limit() {  # REFERENCE OBSERVED: one train, pulsed on the odd channels
  python3 -c 'import sys
ref, obs = sys.argv[1], sys.argv[2]
flat, peak = " ".join(["60"] * 32), " ".join([obs, ref] * 16)
rows = [flat, peak, " ".join(["0"] * 32), flat]
rows += [peak if p % 14 == 0 and p <= 196 else flat for p in range(218)] + [flat]
print("\n".join(rows))' "$1" "$2"
}
mkdir limits && at_limit 20 62 >limits/1_vemra5_b_l_odd_adc.txt && at_limit -40 63 >limits/1_vemra6_b_l_odd_adc.txt
run -o limits_out limits
expect "at the C limit" "$(grep '^5,' limits_out/chips.csv | cut -d, -f2,4)|$(grep -o '<td class="number">[^<]*</td>' limits_out/chips/5.html | head -1)" \
  "C,0.05000000000000001|<td class=\"number\">5.00%</td>"
run -o limits_out --grades 1%,3%,5% limits
expect "at the B limit" "$(grep '^6,' limits_out/chips.csv | cut -d, -f2)" B

# 8. A store as the first release wrote it opens, its analyses kept.
mkdir old_out && python3 -c 'import sqlite3, sys
sqlite3.connect(sys.argv[1]).executescript(open(sys.argv[2]).read())' old_out/campaign.sqlite "$here/store_layouts/layout_1.sql"
run -o old_out tree
expect "a store of the first layout" "$status|$(head -c 13 out)|$(sql old_out/campaign.sqlite 'select count(*) from analyses where id <= 3')" \
  "0|11 data files|3"

# 9. Names that are not UTF-8, or hold a line break: the tables and the
# store read with Python's defaults, and the exact bytes come back.
mkdir odd
odd_name=$'1_vemra\xe97_b_l_20mV\ncalib-odd_adc.txt'
cp "$day"/*100001/*odd_adc.txt "odd/$odd_name"
run -o odd_out --ratios-csv odd
expect "names that are not UTF-8" "$status|$(python3 -c 'import csv, os, sqlite3, sys, urllib.parse
out = sys.argv[1]
for table in ("summary.csv", "chips.csv", "ratios.csv"):
    rows = list(csv.DictReader(open(os.path.join(out, table), newline="")))
db = sqlite3.connect(os.path.join(out, "campaign.sqlite"))
for view in ("latest_analyses", "latest_ratios", "current_measurements"):
    db.execute("SELECT * FROM " + view).fetchall()
row = next(csv.DictReader(open(os.path.join(out, "summary.csv"), newline="")))
exact = urllib.parse.unquote_to_bytes(row["path_bytes"])
print(exact == os.fsencode(os.path.realpath(sys.argv[2])), "\n" in row["config"])
try:
    import pandas
    pandas.read_csv(os.path.join(out, "summary.csv"))
    pandas.read_sql("SELECT * FROM latest_ratios", db)
except ImportError:
    pass' odd_out "odd/$odd_name")" "0|True True"

# 10. Other grade limits give every map of the campaign their scale, the
# many that no page shows too.
mkdir many
for day_number in $(seq 10 35); do
  mkdir -p "many/202612$day_number/090000_vemra4"
  cp "$day"/*100001/*odd_adc.txt "many/202612$day_number/090000_vemra4/090000_vemra4_b_l_20mV_calib-odd_adc.txt"
done
run -o many_out many
# The A limit ends the linear part of a map's scale and is marked on it.
run -o many_out --grades 0.5%,2%,10% many
expect "every map takes the new scale" "$(grep -L '>+0.50% A</text>' many_out/plots/*.svg | wc -l)|$(ls many_out/plots | wc -l)" "0|26"
same_as_clean "other limits over many measurements" many_out many --grades 0.5%,2%,10%

# A run stopped at each of its steps in turn, by SIGKILL and by Ctrl-C, and
# the same command run again: each time, the outputs of a clean run. Every
# round changes a file and the grade limits, so that every output changes.
mkdir sweep && cp -r "$day"/*100001 "$day"/*100004 sweep/
changing=$(ls sweep/*100001/*odd_adc.txt)
grades=(1%,2%,5% 0.5%,1%,2%)
run -o sweep_out sweep
round=0
for sent in KILL INT; do
  for ((step = 1; step < 100; ++step)); do
    round=$((round + 1))
    limits=${grades[round % 2]}
    "${gen[@]}" --trains 2 --cross-talk 0.01 --seed "$round" >"$changing"
    { QAVREL_CAMPAIGN_STOP_AT=$step:$sent "${campaign[@]}" -q -o sweep_out --grades "$limits" sweep; } >/dev/null 2>&1
    stopped=$?
    run -q -o sweep_out --grades "$limits" sweep
    [[ $status == 0 ]] || fail "the run after a stop by $sent at step $step ended $status"
    same_as_clean "stopped by $sent at step $step" sweep_out sweep --grades "$limits"
    # Once a run ends without reaching the step, every step was tried.
    ((stopped == 0)) && break
  done
  expect "a run stopped by $sent at every one of its steps" "$((step > 10))" 1
done

# 3. A folder that can't be searched holds what the last search saw there:
# a file deleted before is not brought back, a file renamed is there once.
as_nobody() {
  if [[ $(id -u) -eq 0 ]]; then
    setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"
  else
    "$@"
  fi
}
if [[ $(id -u) -eq 0 ]] && ! command -v setpriv >/dev/null; then
  skip 3 "a folder that can't be searched (root, and no setpriv)"
else
  mkdir closed && chmod 777 closed && chmod a+x "$work"
  folder=closed/tree/20261208/101500_vemra1
  mkdir -p "$folder"
  cp "$day"/*100001/*odd_adc.txt "$folder/101500_vemra1_b_l_20mV_calib-odd_adc.txt"
  cp "$day"/*100004/*odd_adc.txt "$folder/111500_vemra1_b_l_20mV_calib-odd_adc.txt"
  mkdir -p closed/tree/20261208/102000_vemra2
  cp "$day"/*100002/*odd_adc.txt closed/tree/20261208/102000_vemra2/102000_vemra2_b_l_20mV_calib-odd_adc.txt
  chmod -R a+rwX closed
  as_nobody "${campaign[@]}" -q -o closed/out closed/tree >out 2>err
  expect "a later file that fails decides" "$(grep '^1,' closed/out/chips.csv | cut -d, -f2)" fail
  rm "$folder/111500_vemra1_b_l_20mV_calib-odd_adc.txt"
  mv "$folder/101500_vemra1_b_l_20mV_calib-odd_adc.txt" "$folder/101600_vemra1_b_l_20mV_calib-odd_adc.txt"
  as_nobody "${campaign[@]}" -q -o closed/out closed/tree >out 2>err
  chmod 0311 "$folder"
  as_nobody "${campaign[@]}" -q -o closed/out closed/tree >out 2>err
  status=$?
  chmod 0755 "$folder"
  expect "a folder that can't be searched" \
    "$status|$(grep -c 'cannot search' err)|$(grep '^1,' closed/out/chips.csv | cut -d, -f2)|$(column path closed/out/summary.csv | sed 's|.*/||' | tr '\n' ' ')" \
    "1|1|A|101600_vemra1_b_l_20mV_calib-odd_adc.txt 102000_vemra2_b_l_20mV_calib-odd_adc.txt "
  # A store the run may not write is said so before anything is read, and
  # works again once it may be written.
  chmod 444 closed/out/campaign.sqlite
  as_nobody "${campaign[@]}" -o closed/out --grades 1%,2%,3% closed/tree >out 2>err
  expect "a read-only store" "$?|$(cat err)|$(cat out)" \
    "1|qavrel-campaign: cannot open the results store in closed/out: campaign.sqlite can't be written: Permission denied|"
  chmod 666 closed/out/campaign.sqlite
  as_nobody "${campaign[@]}" -q -o closed/out --grades 1%,2%,3% closed/tree >out 2>err
  expect "a store that may be written again" "$?|$(cat err)" \
    "0|qavrel-campaign: grading by the limits 0.01,0.02,0.03, which differ from the last run's 0.01,0.02,0.05 (--grades)"
fi

finish
