#!/usr/bin/env bash
# The pictures of the campaign report in examples/, made again.
#
# usage: tools/screenshots.sh [BUILD_DIR]   (default: build)
# Builds qavrel-campaign and qavrel-gen in BUILD_DIR, writes a campaign as
# a test bench would over three days (chips of every grade, a damaged file,
# a file without a start marker, retests that pass and one that fails
# again), runs qavrel-campaign on it, and takes pictures 1,400 pixels wide
# with headless Chromium of the front page, a failing chip's page, a
# retested chip's page and the first page of the list of chips.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
browser=$(command -v chromium || command -v chromium-browser) || {
  echo "screenshots.sh: no chromium to take the pictures with (Debian: chromium)" >&2
  exit 1
}
cmake -S . -B "$build" >/dev/null
cmake --build "$build" -j2 --target qavrel_campaign qavrel_gen >/dev/null
gen=$build/qavrel-gen
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The example campaign as the first day of the first bench.
campaign=$work/campaign
"$gen" --campaign "$campaign/bench-1"

# sample DATE TIME CHIP CROSS_TALK: a chip's odd and even files, measured
# at DATE (YYYYMMDD) and TIME (HHMMSS) on the second bench.
sample() {
  local folder=$campaign/bench-2/$1/$2_vemra$3 parity
  mkdir -p "$folder"
  for parity in odd even; do
    "$gen" --trains 3 --noise 2 --parity "$parity" --cross-talk "$4" --seed "$3" \
      >"$folder/$2_vemra$3_zorik01_link00_20mV_calib-${parity}_adc.txt"
  done
}
# Cross-talk levels of every grade: A, B, C and fail.
levels=(0.003 0.006 0.008 0.012 0.016 0.025 0.04 0.07)
for ((i = 0; i < 40; ++i)); do
  date=$((20261209 + i / 20))
  time=$(printf '%02d%02d00' $((8 + i % 20 / 3)) $((i % 3 * 20)))
  sample "$date" "$time" $((100200 + i)) "${levels[i % ${#levels[@]}]}"
done
# Retests the next day: two that failed pass now, and one fails again.
sample 20261211 090000 100207 0.004
sample 20261211 091500 100215 0.005
sample 20261211 093000 100223 0.065

out=$work/out
status=0
"$build/qavrel-campaign" -q -o "$out" "$campaign/bench-1" "$campaign/bench-2" || status=$?
# The damaged file of the example is a failure the front page shows.
if ((status > 1)) || [[ ! -f $out/report.html ]]; then
  echo "screenshots.sh: qavrel-campaign ended with $status and no report" >&2
  exit 1
fi

# shoot PAGE PICTURE HEIGHT: the page, 1,400 pixels wide, into examples/.
shoot() {
  timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync --hide-scrollbars \
    --user-data-dir="$work/browser" --window-size="1400,$3" --screenshot="$PWD/examples/$2" \
    "file://$out/$1" 2>/dev/null >/dev/null
  [[ -s examples/$2 ]] || {
    echo "screenshots.sh: no picture of $1" >&2
    exit 1
  }
  echo "examples/$2: $1, $(($(stat -c %s "examples/$2") / 1024)) KB"
}
shoot report.html report_front_page.png 1800
shoot chips/100231.html report_failing_chip.png 1300
shoot chips/100207.html report_retested_chip.png 1800
shoot index/chips-1.html report_chip_list.png 1100
