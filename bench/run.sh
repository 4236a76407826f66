#!/usr/bin/env bash
# Throughput and peak memory of qavrel.exe beside a stream-extraction reader.
#
# usage: bench/run.sh [SIZE_MB ...]   (default: 10 200)
# Builds the project in build-bench/, and one qavrel.exe per block decoder
# this machine runs in build-bench-<decoder>/ (the QAVREL_DECODER option).
# Writes a realistic sample file of each size with qavrel-gen and runs, on
# the same file already in the page cache and alternately (RUNS times each,
# default 5): the stream-extraction reader, each qavrel.exe, and `cat FILE >
# /dev/null`. Then, for the largest file compressed with gzip and with zstd
# (default levels): `gzip -dc`/`zstd -dc FILE > /dev/null` and qavrel.exe on
# the compressed file. Prints medians: MB/s of text, ratios, peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("${@:-10 200}")
read -r -a sizes <<<"${sizes[*]}"
runs=${RUNS:-5}

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQAVREL_TESTS=OFF >/dev/null
cmake --build build-bench -j2 >/dev/null
mapfile -t decoders < <(build-bench/bench_decoders)
for decoder in "${decoders[@]}"; do
  cmake -S . -B "build-bench-$decoder" -DCMAKE_BUILD_TYPE=Release -DQAVREL_TESTS=OFF \
    -DQAVREL_DECODER="$decoder" >/dev/null
  cmake --build "build-bench-$decoder" -j2 --target qavrel >/dev/null
done
measure=build-bench/run_measured
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores;" \
  "decoders it runs: ${decoders[*]} (qavrel.exe uses ${decoders[0]})"

# median of the numbers on standard input
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# peak KiB of the runs kept in FILE
peak() { cut -d' ' -f2 "$1" | sort -n | tail -1; }
# row LABEL TIMES_FILE BYTES [BASE_SECONDS [CAT_SECONDS]]
row() {
  local seconds
  seconds=$(cut -d' ' -f1 "$2" | median)
  awk -v label="$1" -v bytes="$3" -v s="$seconds" -v base="${4:-}" -v cat="${5:-}" -v kib="$(peak "$2")" \
    'BEGIN { mb = bytes / 1e6
      printf "  %-26s %9.0f MB/s %9s %9s %10d KiB\n", label, mb / s,
        base == "" ? "" : sprintf("%.1fx", base / s), cat == "" ? "" : sprintf("%.2fx", cat / s), kib }'
}

file="$work/bench_adc.txt"
for size in "${sizes[@]}"; do
  build-bench/qavrel-gen --size-mb "$size" --seed 1 >"$file"
  bytes=$(stat -c %s "$file")
  cat "$file" >/dev/null
  rm -f "$work"/*.times
  for ((run = 0; run < runs; ++run)); do
    "$measure" build-bench/stream_baseline "$file" >>"$work/stream.times"
    for decoder in "${decoders[@]}"; do
      "$measure" "build-bench-$decoder/qavrel.exe" 1 odd "$file" >>"$work/$decoder.times"
    done
    "$measure" cat "$file" >>"$work/cat.times"
  done
  base=$(cut -d' ' -f1 "$work/stream.times" | median)
  cat_s=$(cut -d' ' -f1 "$work/cat.times" | median)
  printf '%s MB of text: %25s %9s %9s %14s\n' "$((bytes / 1000000))" "rate" "x stream" "x cat" "peak memory"
  row "stream extraction" "$work/stream.times" "$bytes"
  for decoder in "${decoders[@]}"; do
    row "qavrel.exe, $decoder" "$work/$decoder.times" "$bytes" "$base" "$cat_s"
  done
  row "cat" "$work/cat.times" "$bytes"
done

# The compressed forms of the last file: rates count its text, not its
# compressed bytes.
gzip -c "$file" >"$work/gz_adc.txt"
zstd -q -c "$file" >"$work/zst_adc.txt"
rm -f "$work"/*.times
for ((run = 0; run < runs; ++run)); do
  "$measure" gzip -dc "$work/gz_adc.txt" >>"$work/gzip.times"
  "$measure" build-bench/qavrel.exe 1 odd "$work/gz_adc.txt" >>"$work/qgz.times"
  "$measure" zstd -dc "$work/zst_adc.txt" >>"$work/zstd.times"
  "$measure" build-bench/qavrel.exe 1 odd "$work/zst_adc.txt" >>"$work/qzst.times"
done
printf 'the same text, compressed: %12s %22s\n' "rate" "x decompressor alone"
row "gzip -dc ($(($(stat -c %s "$work/gz_adc.txt") / 1000000)) MB)" "$work/gzip.times" "$bytes"
row "qavrel.exe on the .gz" "$work/qgz.times" "$bytes" "$(cut -d' ' -f1 "$work/gzip.times" | median)"
row "zstd -dc ($(($(stat -c %s "$work/zst_adc.txt") / 1000000)) MB)" "$work/zstd.times" "$bytes"
row "qavrel.exe on the .zst" "$work/qzst.times" "$bytes" "$(cut -d' ' -f1 "$work/zstd.times" | median)"
