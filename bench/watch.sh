#!/usr/bin/env bash
# qavrel-campaign --watch on a campaign already in the store: how soon a
# file the robot closes is graded (its line on standard output) and shown
# (chips.csv and its chip page), and the CPU the watch uses while nothing
# arrives.
#
# usage: bench/watch.sh [FILES]   (default 16000)
# Builds the project in build-bench/, writes FILES files of two trains
# (qavrel-gen --campaign-of), runs the campaign once, then starts the watch
# (--settle SETTLE, default 5) and measures, for a file renamed into a
# folder made after the start and for a file written slowly in place (four
# pieces, half a second apart), the seconds from the moment the file was
# closed to its line, and to chips.csv and the chip's page showing it;
# then the watch's CPU time over QUIET seconds (default 60) without files.
# WORK=DIR keeps the files there.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQAVREL_TESTS=OFF >/dev/null
cmake --build build-bench -j2 >/dev/null
campaign=$(realpath build-bench/qavrel-campaign)
gen=$(realpath build-bench/qavrel-gen)
files=${1:-16000}
settle=${SETTLE:-5}
quiet=${QUIET:-60}
if [[ -n ${WORK:-} ]]; then
  work=$WORK && mkdir -p "$work"
else
  work=$(mktemp -d)
fi
watcher=
stop_watch() { [[ -z $watcher ]] || kill -INT "$watcher" 2>/dev/null || true; }
trap 'stop_watch; [[ -n ${WORK:-} ]] || rm -rf "$work"' EXIT
cpu="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores"
now() { date +%s.%N; }
# Waits, looking every 10 ms, until COMMAND succeeds; prints the time then.
when() {
  until "$@"; do sleep 0.01; done
  now
}

rm -rf "$work/tree" "$work/out"
"$gen" --campaign-of "$files" "$work/tree"
"$campaign" -q -j 2 -o "$work/out" "$work/tree"

# Each line of the watch's standard output, with the time it came.
"$campaign" --watch --settle "$settle" -j 2 -o "$work/out" "$work/tree" \
  > >(python3 -u -c 'import sys, time
for line in sys.stdin: print("%.3f %s" % (time.time(), line), end="", flush=True)' >"$work/watch.out") \
  2>"$work/watch.err" &
watcher=$!
until grep -q "watching for new" "$work/watch.err"; do sleep 0.05; done

line_time() { grep -F -- " $1" "$work/watch.out" | head -n 1 | cut -d' ' -f1; }
has_line() { [[ -n $(line_time "$1") ]]; }
shown() { grep -q "^$1," "$work/out/chips.csv" && [[ -f $work/out/chips/$1.html ]]; }

# measure NAME CHIP PATH CLOSED: the seconds from CLOSED to the line and
# to the outputs that show CHIP.
measure() {
  local line_at shown_at
  line_at=$(when has_line "$3")
  line_at=$(line_time "$3")
  shown_at=$(when shown "$2")
  awk -v n="$1" -v c="$4" -v l="$line_at" -v s="$shown_at" -v settle="$settle" 'BEGIN {
    printf "%-28s line after %5.2f s (bound %.1f), chips.csv and page after %5.2f s (bound %.1f)\n",
      n, l - c, settle + 0.5, s - c, settle + 2 }'
}

echo "qavrel-campaign --watch over $files files already in the store, settle $settle s; $cpu"
folder=$work/tree/20261210/080000_vemra300000
mkdir -p "$folder"
renamed=$folder/080000_vemra300000_zorik00_link00_20mV_calib-odd_adc.txt
"$gen" --trains 2 --cross-talk 0.004 >"$folder/.incoming"
closed=$(now)
mv "$folder/.incoming" "$renamed"
measure "renamed into a new folder" 300000 "$renamed" "$closed"

slow=$folder/080500_vemra300001_zorik00_link00_20mV_calib-odd_adc.txt
"$gen" --trains 2 --cross-talk 0.004 >"$work/whole.txt"
size=$(stat -c %s "$work/whole.txt")
: >"$slow"
for piece in 0 1 2 3; do
  head -c $(((piece + 1) * size / 4)) "$work/whole.txt" | tail -c $(((piece + 1) * size / 4 - piece * size / 4)) >>"$slow"
  [[ $piece == 3 ]] || sleep 0.5
done
closed=$(now)
measure "written slowly in place" 300001 "$slow" "$closed"

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$watcher/stat"; }
before=$(cpu_ticks)
sleep "$quiet"
after=$(cpu_ticks)
awk -v b="$before" -v a="$after" -v t="$ticks" -v q="$quiet" 'BEGIN {
  printf "%-28s %.2f s of CPU over %d s (bound 0.1)\n", "nothing arriving", (a - b) / t, q }'
