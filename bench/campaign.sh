#!/usr/bin/env bash
# qavrel-campaign beside a shell loop that runs qavrel.exe on each file.
#
# usage: bench/campaign.sh [FILES] [SIZE_MB]   (default: 400 0.5)
# Builds the project in build-bench/ and writes a campaign of FILES sample
# files of SIZE_MB each, laid out as a test robot does, already in the page
# cache. Then runs, alternately (RUNS times each, default 5): the shell loop,
# qavrel-campaign -j 1 and -j 2 each into a fresh output folder, and a
# rerun of the last with nothing changed. Prints median seconds, their
# ratio to the loop, and peak resident memory.
set -euo pipefail
cd "$(dirname "$0")/.."
files=${1:-400}
size_mb=${2:-0.5}
runs=${RUNS:-5}

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQAVREL_TESTS=OFF >/dev/null
cmake --build build-bench -j2 >/dev/null
measure=build-bench/run_measured
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores;" \
  "$files files of $size_mb MB"
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

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
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
