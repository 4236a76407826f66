#!/usr/bin/env bash
# Throughput and peak memory of qavrel.exe beside a stream-extraction reader.
#
# usage: bench/run.sh [SIZE_MB ...]   (default: 10 200)
# Builds the project in build-bench/, writes a realistic sample file of each
# size with xtalk_gen, then runs the baseline and qavrel.exe alternately
# (RUNS times each, default 5) on the same file, already in the page cache.
# Prints the median MB/s of each, their ratio, the rate of `cat FILE >
# /dev/null`, and the peak resident memory of each program.
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("${@:-10 200}")
read -r -a sizes <<<"${sizes[*]}"
runs=${RUNS:-5}

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DXTALK_TESTS=OFF >/dev/null
cmake --build build-bench -j2 >/dev/null
measure=build-bench/run_measured
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# median of the numbers on standard input
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%8s %12s %12s %8s %12s %14s %14s\n' "size MB" "baseline MB/s" "qavrel MB/s" "ratio" "cat MB/s" "baseline KiB" "qavrel KiB"
for size in "${sizes[@]}"; do
  file="$work/bench_adc.txt"
  build-bench/xtalk_gen --size-mb "$size" --seed 1 >"$file"
  bytes=$(stat -c %s "$file")
  cat "$file" >/dev/null
  : >"$work/base" && : >"$work/tool" && : >"$work/cat"
  for ((run = 0; run < runs; ++run)); do
    "$measure" build-bench/stream_baseline "$file" >>"$work/base"
    "$measure" build-bench/qavrel.exe 1 odd "$file" >>"$work/tool"
    "$measure" cat "$file" >>"$work/cat"
  done
  base_s=$(cut -d' ' -f1 "$work/base" | median)
  tool_s=$(cut -d' ' -f1 "$work/tool" | median)
  cat_s=$(cut -d' ' -f1 "$work/cat" | median)
  awk -v mb="$bytes" -v b="$base_s" -v t="$tool_s" -v c="$cat_s" \
    -v bk="$(cut -d' ' -f2 "$work/base" | sort -n | tail -1)" -v tk="$(cut -d' ' -f2 "$work/tool" | sort -n | tail -1)" \
    'BEGIN { mb /= 1e6; printf "%8.0f %12.0f %12.0f %8.1f %12.0f %14d %14d\n", mb, mb / b, mb / t, b / t, mb / c, bk, tk }'
done
