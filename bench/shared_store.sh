#!/usr/bin/env bash
# A first run of qavrel-campaign into a PostgreSQL store beside one into the
# SQLite file, side by side, over the same files.
#
# usage: bench/shared_store.sh [FILES]   (default 16000)
# Builds the project in build-bench/, writes FILES files of two trains
# (qavrel-gen --campaign-of) and starts a throwaway PostgreSQL server on a
# Unix socket in a temporary folder (as the user nobody when run as root).
# Then runs, alternately (RUNS times each, default 3), qavrel-campaign -j 2
# into a fresh output folder with its SQLite store, and into a fresh
# output folder with --store on an emptied database; every run writes every
# log, as a first run does. Prints median seconds, the ratio of PostgreSQL
# to SQLite, and peak resident memory.
set -euo pipefail
cd "$(dirname "$0")/.."
source tests/support/postgres_server.sh
require_postgres_server

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQAVREL_TESTS=OFF >/dev/null
cmake --build build-bench -j2 >/dev/null
measure=build-bench/run_measured
work=$(mktemp -d)
chmod o+x "$work"
trap 'postgres_server_stop "$work/pg" immediate 2>/dev/null; rm -rf "$work"' EXIT
cpu="$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores"
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

files=${1:-16000}
runs=${RUNS:-3}
url=$(postgres_server_start "$work/pg")
psql=("$(postgres_bindir)/psql" -X -q -v ON_ERROR_STOP=1 "$url")
echo "CPU: $cpu; $files files of two trains, qavrel-campaign -j 2; PostgreSQL $(
  "${psql[@]}" -A -t -c 'SHOW server_version') on a Unix socket, fsync off"
build-bench/qavrel-gen --campaign-of "$files" "$work/tree"
find "$work/tree" -type f -exec cat {} + >/dev/null

for ((run = 0; run < runs; ++run)); do
  find "$work/tree" -name 'xtalk_vemra*.log' -delete
  rm -rf "$work/out"
  "$measure" build-bench/qavrel-campaign -q -j 2 -o "$work/out" "$work/tree" >>"$work/sqlite.times"
  find "$work/tree" -name 'xtalk_vemra*.log' -delete
  rm -rf "$work/out"
  "${psql[@]}" -c 'DROP SCHEMA IF EXISTS qavrel_campaign CASCADE' 2>/dev/null
  "$measure" build-bench/qavrel-campaign -q -j 2 --store "$url" -o "$work/out" "$work/tree" \
    >>"$work/postgres.times"
done
sqlite=$(cut -d' ' -f1 "$work/sqlite.times" | median)
printf '%-34s %9s %12s %12s\n' "" "seconds" "of SQLite" "peak memory"
for name in sqlite postgres; do
  seconds=$(cut -d' ' -f1 "$work/$name.times" | median)
  kib=$(cut -d' ' -f2 "$work/$name.times" | sort -n | tail -1)
  label="first run, $([[ $name == sqlite ]] && echo "SQLite file" || echo "PostgreSQL (--store)")"
  awk -v l="$label" -v s="$seconds" -v b="$sqlite" -v k="$kib" \
    'BEGIN { printf "%-34s %9.2f %11.0f%% %8d KiB\n", l, s, 100 * s / b, k }'
done
