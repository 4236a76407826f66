#!/usr/bin/env bash
# What a detector engineer reads without a manual: the tables as typed
# text, summary.json, the --fail-on gate and its statuses, the grade limits
# each run kept, and the messages of a run that ends before reading a file.
# usage: tables_test.sh QAVREL_CAMPAIGN QAVREL QAVREL_GEN [EMULATOR...]
set -u
campaign=("${@:4}" "$(realpath "$1")")
gen=("${@:4}" "$(realpath "$3")")
readme=$(realpath "$(dirname "$0")/../../README.md")
# shellcheck source=../support/checks.sh
source "$(dirname "$0")/../support/checks.sh"

run() {
  "${campaign[@]}" "$@" >out 2>err
  status=$?
}
# column NAME FILE: that column of a CSV, one line per row.
column() {
  python3 -c 'import csv, sys
for row in csv.DictReader(open(sys.argv[2], errors="surrogateescape")):
  print(row[sys.argv[1]])' "$1" "$2"
}
sql() {
  python3 -c 'import sqlite3, sys
for row in sqlite3.connect(sys.argv[1]).execute(sys.argv[2]): print("|".join(map(str, row)))' "$@"
}

"${gen[@]}" --campaign tree --trains 2 >/dev/null
# A chip whose name is all digits with leading zeros, and one whose name
# holds a quote, a backslash and a byte that is not UTF-8; a file that
# can't be read (a gzip stream cut short, an hour ago).
day=$(realpath tree)/20261208
"${gen[@]}" --trains 2 --cross-talk 0.004 --seed 3 >"$day/101500_vemra000123_b_l_20mV_calib-odd_adc.txt"
"${gen[@]}" --trains 2 --cross-talk 0.03 --seed 4 >"$day/"$'101500_vemra7"\\\xff_b_l_20mV_calib-odd_adc.txt'
cut_gzip() {
  "${gen[@]}" --trains 2 --seed 5 | gzip | head -c 2000 >"$day/101500_vemra9_b_l_20mV_calib-odd_adc.txt.gz"
  touch -d '1 hour ago' "$day/101500_vemra9_b_l_20mV_calib-odd_adc.txt.gz"
}
cut_gzip

# --- The tables: chips stay text, booleans read as booleans.
run -o out_dir tree
expect "a failed file fails the run" "$status" 1
expect "a chip of digits stays text" \
  "$(grep -c '^000123,' out_dir/chips.csv)|$(grep -c ',000123,20mV_calib-odd,' out_dir/summary.csv)|$(sql out_dir/campaign.sqlite "select typeof(chip), chip from data_files where chip like '%123'")" \
  "1|1|text|000123"
expect "booleans are true or false" \
  "$(sort -u <(column marker_found out_dir/summary.csv) <(column log_written out_dir/summary.csv) | tr '\n' ' ')" \
  "false true "

# --- summary.json agrees with the tables and reads as JSON whatever the names.
check_json() {
  python3 - "$1" <<'EOF'
import collections, csv, json, sys
out = sys.argv[1]
summary = json.load(open(out + "/summary.json", encoding="utf-8"))
files = list(csv.DictReader(open(out + "/summary.csv", encoding="utf-8")))
chips = list(csv.DictReader(open(out + "/chips.csv", encoding="utf-8")))
problems = []
def same(what, got, expected):
    if got != expected:
        problems.append("%s: %r, not %r" % (what, got, expected))
grades = ["A", "B", "C", "no data", "fail", "not analysed"]
same("grade names", list(summary["chips_by_grade"]), grades)
same("chips by grade", {g: n for g, n in summary["chips_by_grade"].items() if n},
     dict(collections.Counter(c["grade"] for c in chips)))
same("files by grade", {g: n for g, n in summary["files_by_grade"].items() if n},
     dict(collections.Counter(f["grade"] for f in files)))
passed = sum(c["grade"] in ("A", "B", "C") for c in chips)
same("yield", summary["yield"], {"passed": passed, "chips": len(chips), "fraction": passed / len(chips)})
same("counts", (summary["data_files"], summary["chips"]), (len(files), len(chips)))
by_chip = {c["chip"]: c for c in chips}
rank = {g: i for i, g in enumerate(grades)}
same("not A, worst first", [c["chip"] for c in summary["chips_not_a"]],
     [c["chip"] for c in sorted((c for c in chips if c["grade"] != "A"),
      key=lambda c: (-rank[c["grade"]], -float(c["worst_abs_mean_ratio"] or -1)))])
for c in summary["chips_not_a"]:
    row = by_chip[c["chip"]]
    same(c["chip"], (c["grade"], c["worst_config"], c["data_file"], c["worst_channel"]),
         (row["grade"], row["worst_config"], row["latest_data_file"],
          int(row["worst_channel"]) if row["worst_channel"] else None))
    if row["worst_abs_mean_ratio"]:
        same(c["chip"] + " ratio", c["worst_abs_mean_ratio"], float(row["worst_abs_mean_ratio"]))
same("failed files", [(f["path"], f["reason"]) for f in summary["failed_files"]],
     [(f["path"], f["message"]) for f in files if f["status"] == "failed"])
print("\n".join(problems) or "agrees", summary["grade_limits"]["C"], len(summary["failed_files"]))
EOF
}
expect "summary.json" "$(check_json out_dir)" "agrees 0.05 1"
expect "a name's bytes in summary.json" "$(grep -c $'"chip": "7\\\\"\\\\\\\\\xef\xbf\xbd"' out_dir/summary.json)" 1

# Made again when what it shows changes, or when it goes missing; left as
# it is otherwise.
stamp() { stat -c %Y.%Z out_dir/summary.json; }
before=$(stamp)
run -o out_dir -q tree
expect "a rerun leaves summary.json" "$(stamp)" "$before"
run -o out_dir -q --grades 2%,3%,10% tree
expect "other limits" "$(check_json out_dir)" "agrees 0.1 1"
rm out_dir/summary.json
run -o out_dir -q --grades 2%,3%,10% tree
expect "a lost summary.json" "$(check_json out_dir)" "agrees 0.1 1"

# --- Each run's limits are kept; a run graded by others says so, once.
expect "other limits are said" "$(grep -c 'limits' err)" 0
run -o out_dir -q tree
expect "limits that differ from the last run's" "$status|$(grep 'limits' err)" \
  "1|qavrel-campaign: grading by the limits 0.01,0.02,0.05, which differ from the last run's 0.02,0.03,0.1 (--grades)"
run -o out_dir -q tree
expect "the same limits again" "$(grep -c 'limits' err)|$(sql out_dir/campaign.sqlite 'select count(*), count(distinct limit_c) from grade_limits')" \
  "0|6|2"

# --- The gate: status 3 once every output is written, one line saying why.
rm "$day/101500_vemra9_b_l_20mV_calib-odd_adc.txt.gz"
run -o gate_out -q --fail-on C tree
expect "a gate that finds chips" "$status|$(cat err)|$(test -s gate_out/summary.json && echo written)" \
  "3|qavrel-campaign: --fail-on C: 4 chips graded C or worse|written"
run -o gate_out -q --fail-on No-Data tree
expect "a gate in other words" "$status|$(cat err)" \
  "3|qavrel-campaign: --fail-on no data: 2 chips graded no data or worse"
run -o gate_out -q --fail-on not-analysed tree
expect "a gate that finds none" "$status|$(cat err)" "0|"
cut_gzip
run -o gate_out -q --fail-on fail tree
expect "a failure outranks the gate" "$status|$(grep -c -- '--fail-on fail: 2 chips graded fail or worse' err)" "1|1"
run -o gate_out --fail-on D tree
expect "a grade that is none" "$status|$(head -n 1 err)" \
  "2|qavrel-campaign: --fail-on: \"D\" is no grade; give one of A, B, C, \"no data\", fail, \"not analysed\""
run -o gate_out --fail-on "" tree
expect "an empty grade" "$status|$(head -n 1 err)" \
  "2|qavrel-campaign: --fail-on: \"\" is no grade; give one of A, B, C, \"no data\", fail, \"not analysed\""
run -o gate_out --watch --fail-on C tree
expect "no gate for a watch" "$status|$(head -n 1 err | cut -c 1-54)" \
  "2|qavrel-campaign: --fail-on can't be used with --watch,"
run --help
expect "every exit status in the help" \
  "$status|$(tr -s ' \n' ' ' <out | grep -o '0 when every file[^;]*;\|2 for bad usage\|3 when --fail-on\|128+N\|130 for Ctrl-C, 143 for SIGTERM' | tr '\n' '|')" \
  "0|0 when every file was analysed and every output written;|2 for bad usage|3 when --fail-on|128+N|130 for Ctrl-C, 143 for SIGTERM|"

# --- A run that ends before reading a file leaves no output folder.
run -o missing_out missing_path
expect "a missing path" "$status|$(test -e missing_out && echo made)|$(tail -n 1 err)" \
  "1||qavrel-campaign: no data files found under missing_path"
mkdir empty
run -o empty_out empty
expect "nothing found" "$status|$(test -e empty_out && echo made)" "1|"
run -o manifest_out --manifest nowhere.csv
expect "a missing manifest" "$status|$(test -e manifest_out && echo made)|$(cat err)" \
  "1||qavrel-campaign: cannot read the manifest nowhere.csv: No such file or directory"
run -o manifest_out --manifest empty
expect "a manifest that is a folder" "$(cat err)" \
  "qavrel-campaign: cannot read the manifest empty: Is a directory"
touch a_file
run -o a_file/out tree
expect "an output folder that can't be made" "$status|$(cat err)" \
  "1|qavrel-campaign: cannot create the output folder a_file/out: Not a directory"

# Permissions mean something to a user who is not root.
as_user() {
  if [[ $(id -u) -eq 0 ]]; then setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; else "$@"; fi
}
if [[ $(id -u) -eq 0 ]] && ! command -v setpriv >/dev/null; then
  skip 4 "an output folder, a manifest and a folder that may not be read (root, and no setpriv)"
else
  chmod a+rx "$work" && chmod -R a+rX tree
  mkdir closed_out && chmod 555 closed_out
  printf 'path,chip,config\n' >closed.csv && chmod 000 closed.csv
  as_user "${campaign[@]}" -o closed_out tree >out 2>err
  expect "an output folder that can't be written" "$?|$(tail -n 1 err)" \
    "1|qavrel-campaign: cannot write in the output folder closed_out: Permission denied"
  as_user "${campaign[@]}" -o closed_out --manifest closed.csv >out 2>err
  expect "a manifest that may not be read" "$?|$(cat err)" \
    "1|qavrel-campaign: cannot read the manifest closed.csv: Permission denied"
  # A folder that can't be searched, and nothing else: no output folder is
  # made, and an existing one keeps no limits of a run that graded nothing.
  mkdir -p hidden/sub open && chmod 777 open
  cp "$day/101500_vemra000123_b_l_20mV_calib-odd_adc.txt" hidden/sub/ && chmod 000 hidden/sub
  as_user "${campaign[@]}" -q -o open/hidden_out hidden >out 2>err
  expect "only a folder that can't be searched" "$?|$(test -e open/hidden_out && echo made)" "1|"
  as_user "${campaign[@]}" -q -o open/shared_out tree >out 2>err
  as_user "${campaign[@]}" -q --grades 5%,10%,20% -o open/shared_out hidden >out 2>err
  as_user "${campaign[@]}" -q --grades 5%,10%,20% -o open/shared_out tree >out 2>err
  expect "the limits of a run that graded nothing" "$(grep -c "the last run's 0.01,0.02,0.05" err)" 1
  chmod 755 hidden/sub
fi

# --- The README's example, then its pandas lines, as they stand.
pandas_python=
for candidate in python3 /usr/bin/python3; do
  "$candidate" -c 'import pandas' 2>/dev/null && pandas_python=$candidate && break
done
if [[ -z $pandas_python ]]; then
  skip 1 "the README's pandas lines (no pandas; Debian: python3-pandas)"
else
  mkdir readme && cd readme || exit 1
  example=$(grep -E '^    \./build/qavrel-gen --campaign' "$readme" | sed 's/^    //')
  example=${example//.\/build\/qavrel-gen/${gen[*]}}
  example=${example//.\/build\/qavrel-campaign/${campaign[*]}}
  bash -c "$example" >/dev/null 2>&1
  cp "$day/101500_vemra000123_b_l_20mV_calib-odd_adc.txt" example-campaign/
  bash -c "${example#*&& }" >/dev/null 2>&1
  lines=0
  while IFS= read -r line; do
    line=${line#"${line%%[! ]*}"}
    shown=$(bash -c "${line/python3 /$pandas_python }" 2>&1) || fail "README: $line: $shown"
    # What it printed, kept, holds the chip as its name.
    code=${line#*-c \"}
    code=${code%\"}
    code="${code/print(/table = (}; assert '000123' in set(table['chip']), list(table['chip'])"
    shown=$("$pandas_python" -c "$code" 2>&1) || fail "README: $line: $shown"
    lines=$((lines + 1))
  done < <(grep -E '^ +python3 .*pandas' "$readme")
  expect "the README's pandas lines, each showing chip 000123" "$((lines >= 2))" 1
  cd ..
fi

finish
