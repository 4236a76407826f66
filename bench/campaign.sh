#!/usr/bin/env bash
# qavrel-campaign beside a shell loop that runs qavrel.exe on each file.
#
# usage: bench/campaign.sh [FILES] [SIZE_MB]   (default: 400 0.5)
#        bench/campaign.sh --scale FILES          (say 16000 or 100000)
# Builds the project in build-bench/ and writes a campaign of FILES sample
# files of SIZE_MB each, laid out as a test robot does, already in the page
# cache. Then runs, alternately (RUNS times each, default 5): the shell loop,
# qavrel-campaign -j 1 and -j 2 each into a fresh output folder, and a
# rerun of the last with nothing changed. Prints median seconds, their
# ratio to the loop, and peak resident memory.
#
# --scale writes FILES files of two trains (qavrel-gen --campaign-of) and
# runs qavrel-campaign -j 2: a first run into a fresh folder, then RUNS
# reruns (default 3) after one file changed, and RUNS with nothing changed.
# Prints median seconds, their ratio to the first run, the largest page and
# the peak resident memory. BASELINE=PATH runs another qavrel-campaign the
# same way, side by side, for comparison. WORK=DIR keeps the files there.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQAVREL_TESTS=OFF >/dev/null
cmake --build build-bench -j2 >/dev/null
measure=build-bench/run_measured
if [[ -n ${WORK:-} ]]; then
  work=$WORK && mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
cpu="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores"
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# scale_runs NAME CAMPAIGN: the first run, the reruns, the pages and memory
# of one qavrel-campaign over $work/tree, into $work/NAME.
scale_runs() {
  local name=$1 campaign=$2 runs=${RUNS:-3} out="$work/$1" changed="$work/tree/d0000/100000_vemra200000_zorik00_link00_20mV_calib-odd_adc.txt"
  rm -rf "$out"
  # Each first run writes every log, as a campaign's first run does.
  find "$work/tree" -name 'xtalk_vemra*.log' -delete
  "$measure" "$campaign" -q -j 2 -o "$out" "$work/tree" >"$work/$name.first"
  for ((run = 0; run < runs; ++run)); do
    # Each rerun finds the one file changed again: its content swaps.
    cp "$work/tree/d0000/$(((run % 2) ? 100004 : 100002))_vemra$(((run % 2) ? 200002 : 200001))_zorik00_link00_20mV_calib-odd_adc.txt" "$changed"
    "$measure" "$campaign" -q -j 2 -o "$out" "$work/tree" >>"$work/$name.changed"
  done
  for ((run = 0; run < runs; ++run)); do
    "$measure" "$campaign" -q -j 2 -o "$out" "$work/tree" >>"$work/$name.unchanged"
  done
  local first changed_s unchanged_s kib largest front
  first=$(cut -d' ' -f1 "$work/$name.first")
  changed_s=$(cut -d' ' -f1 "$work/$name.changed" | median)
  unchanged_s=$(cut -d' ' -f1 "$work/$name.unchanged" | median)
  kib=$(cat "$work/$name".{first,changed,unchanged} | cut -d' ' -f2 | sort -n | tail -1)
  largest=$(find "$out" -name '*.html' -printf '%s %P\n' | sort -n | tail -1)
  front=$(stat -c %s "$out/report.html")
  awk -v n="$name" -v f="$first" -v c="$changed_s" -v u="$unchanged_s" -v k="$kib" \
    -v l="$largest" -v p="$front" 'BEGIN {
      printf "%-10s first run %8.2f s\n", n, f
      printf "%-10s one file changed %8.3f s  %5.1f%% of the first run\n", n, c, 100 * c / f
      printf "%-10s nothing changed  %8.3f s  %5.1f%% of the first run\n", n, u, 100 * u / f
      split(l, largest, " ")
      printf "%-10s front page %.2f MB; largest page %.2f MB (%s)\n", n, p / 1e6, largest[1] / 1e6, largest[2]
      printf "%-10s peak memory %d KiB (%.1f MiB)\n", n, k, k / 1024 }'
}

if [[ ${1:-} == --scale ]]; then
  files=$2
  echo "CPU: $cpu; $files files of two trains, qavrel-campaign -j 2"
  rm -rf "$work/tree" && build-bench/qavrel-gen --campaign-of "$files" "$work/tree"
  find "$work/tree" -type f -exec cat {} + >/dev/null
  scale_runs today "$PWD/build-bench/qavrel-campaign"
  [[ -n ${BASELINE:-} ]] && scale_runs baseline "$BASELINE"
  exit 0
fi

files=${1:-400}
size_mb=${2:-0.5}
runs=${RUNS:-5}

echo "CPU: $cpu; $files files of $size_mb MB"
for ((i = 0; i < files; ++i)); do
  chip=$((200000 + i / 2))
  parity=$( ((i % 2 == 0)) && echo odd || echo even)
  config=20mV_calib-$parity
  dir="$work/tree/20261208/$((100000 + i / 2))_vemra$chip"
  mkdir -p "$dir"
  path="$dir/$((100000 + i / 2))_vemra${chip}_zorik00_link00_${config}_adc.txt"
  build-bench/qavrel-gen --size-mb "$size_mb" --seed "$i" --parity "$parity" >"$path"
  echo "$chip $config $path" >>"$work/list"
done
cat "$work"/tree/*/*/*_adc.txt >/dev/null
cat >"$work/loop.sh" <<LOOP
while read -r chip config path; do
  $PWD/build-bench/qavrel.exe "\$chip" "\$config" "\$path" >/dev/null
done <"$work/list"
LOOP

for ((run = 0; run < runs; ++run)); do
  "$measure" bash "$work/loop.sh" >>"$work/loop.times"
  rm -rf "$work/out1" && "$measure" build-bench/qavrel-campaign -q -j 1 -o "$work/out1" "$work/tree" >>"$work/j1.times"
  rm -rf "$work/out2" && "$measure" build-bench/qavrel-campaign -q -j 2 -o "$work/out2" "$work/tree" >>"$work/j2.times"
  "$measure" build-bench/qavrel-campaign -q -j 2 -o "$work/out2" "$work/tree" >>"$work/rerun.times"
done
loop=$(cut -d' ' -f1 "$work/loop.times" | median)
printf '%-32s %9s %12s %12s\n' "" "seconds" "of the loop" "peak memory"
for name in loop j1 j2 rerun; do
  seconds=$(cut -d' ' -f1 "$work/$name.times" | median)
  kib=$(cut -d' ' -f2 "$work/$name.times" | sort -n | tail -1)
  case $name in
    loop) label="shell loop over qavrel.exe" ;;
    j1) label="qavrel-campaign -j 1" ;;
    j2) label="qavrel-campaign -j 2" ;;
    rerun) label="rerun, nothing changed" ;;
  esac
  awk -v l="$label" -v s="$seconds" -v b="$loop" -v k="$kib" \
    'BEGIN { printf "%-32s %9.3f %11.0f%% %8d KiB\n", l, s, 100 * s / b, k }'
done
