#!/usr/bin/env bash
# A shared store cut off by the network in the middle of a run: the run
# gives up on it within about a minute, with status 1 and the reason,
# instead of waiting for the system's two hours; the next run completes.
# The cut is the loopback of a network namespace of the test's own taken
# down, so only root can make it; others skip.
# usage: store_cut_off_test.sh QAVREL_CAMPAIGN QAVREL_GEN [EMULATOR...]
set -u
if [[ ${QAVREL_CUT_OFF_INSIDE:-} != 1 ]]; then
  if ! unshare -n true 2>/dev/null || ! command -v ip >/dev/null; then
    echo "SKIP: no network of the test's own to cut (unshare -n needs root, ip needs iproute2)"
    exit 77
  fi
  QAVREL_CUT_OFF_INSIDE=1 exec unshare -n bash "$0" "$@"
fi
campaign=("${@:3}" "$(realpath "$1")")
gen=("${@:3}" "$(realpath "$2")")
here=$(dirname "$(realpath "$0")")
# shellcheck source=../support/postgres_server.sh
source "$here/../support/postgres_server.sh"
require_postgres_server
# shellcheck source=../support/checks.sh
source "$here/../support/checks.sh"
ip link set lo up
chmod o+x "$work"
server=$work/pg
local_url=$(postgres_server_start "$server" 54329) || {
  echo "FAIL: the test's server did not start" >&2
  exit 1
}
trap '[[ $BASHPID == $$ ]] && { postgres_server_stop "$server" immediate 2>/dev/null; rm -rf "$work"; }' EXIT
url="host=127.0.0.1 port=54329 dbname=postgres user=$postgres_superuser"
psql=("$(postgres_bindir)/psql" -X -q -A -t)
cd "$work" || exit 1

# The run is cut off while it waits for its last file, a pipe, which comes
# after the cut: whatever the machine's speed, the run has yet to store it.
"${gen[@]}" --campaign-of 400 big >/dev/null
last=late/100000_vemra999999_zorik00_link00_20mV_calib-odd_adc.txt
mkdir late && mkfifo "$last"
# Past three minutes it would wait for ever, as far as this test can tell.
timeout -s KILL 180 "${campaign[@]}" -q -j 1 --store "$url" -o out big "$last" >/dev/null 2>err &
pid=$!
read_last() { blocked_on_fifo "$(pgrep -P "$pid")"; }
wait_until "the run to wait for its last file" read_last
ip link set lo down
cut_at=$SECONDS
timeout 60 bash -c '"${@:2}" >"$1"' - "$last" "${gen[@]}" --trains 2
wait "$pid"
status=$?
expect "cut off: status" "$status" 1
expect "cut off: given up on within two minutes" "$((SECONDS - cut_at <= 120))" 1
expect "cut off: says so, once" "$(grep -c "the connection to the server was lost" err)" 1
ip link set lo up
rm "$last" && "${gen[@]}" --trains 2 >"$last"
"${campaign[@]}" -q -j 2 --store "$url" -o out big "$last" >/dev/null 2>err
expect "the next run: status" "$?|$(cat err)" "0|"
expect "the next run: every file stored" \
  "$("${psql[@]}" "$local_url" -c "SELECT count(*) FROM qavrel_campaign.data_files")" 401

# A watch with no file to read, cut off: it finds the store lost by its
# asking after other benches, says so, lets go of nothing unsaid, and
# once the network is back publishes another bench's files and holds its
# bench's lock again. The URL's own timeouts win, so it is quick.
quick="$url keepalives_idle=2 keepalives_interval=1 keepalives_count=2 tcp_user_timeout=4000"
"${gen[@]}" --campaign small >/dev/null
"${campaign[@]}" -q --store "$quick" --bench watcher -o watched small >/dev/null 2>&1
"${campaign[@]}" -q --store "$quick" --bench watcher --watch --settle 0 -o watched small \
  >/dev/null 2>watch_err &
watch_pid=$!
watching() { grep -q "watching for new" watch_err; }
wait_until "the watch" watching
ip link set lo down
said_lost() { grep -q "trying the results store again" watch_err; }
wait_until "the watch to find the store lost" said_lost
ip link set lo up
said_back() { grep -q "the results store is back" watch_err; }
wait_until "the watch to find the store back" said_back
"${gen[@]}" --trains 2 --seed 3 >other_file.txt
mkdir -p other/d && mv other_file.txt other/d/100000_vemra777777_zorik00_link00_20mV_calib-odd_adc.txt
"${campaign[@]}" -q --store "$local_url" --bench other -o other_out other >/dev/null 2>&1
published() { grep -q vemra777777 watched/summary.csv; }
wait_until "the other bench's file in the watch's outputs" published
"${campaign[@]}" -q --store "$local_url" --bench watcher --store-wait 1 -o again small >/dev/null 2>err
expect "the watch holds its bench's lock again" "$?|$(grep -c "another run of bench watcher holds it" err)" "1|1"
kill -INT "$watch_pid"
wait "$watch_pid"
finish
