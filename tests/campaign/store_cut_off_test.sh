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

"${gen[@]}" --campaign-of 400 big >/dev/null
# Past three minutes it would wait for ever, as far as this test can tell.
timeout -s KILL 180 "${campaign[@]}" -q -j 1 --store "$url" -o out big >/dev/null 2>err &
pid=$!
stored() { [[ $("${psql[@]}" "$local_url" -c "SELECT count(*) FROM qavrel_campaign.analyses" 2>/dev/null) -ge 20 ]]; }
wait_until "20 files stored" stored
ip link set lo down
cut_at=$SECONDS
wait "$pid"
status=$?
expect "cut off: status" "$status" 1
expect "cut off: given up on within two minutes" "$((SECONDS - cut_at <= 120))" 1
expect "cut off: says so, once" "$(grep -c "the connection to the server was lost" err)" 1
ip link set lo up
"${campaign[@]}" -q -j 2 --store "$url" -o out big >/dev/null 2>err
expect "the next run: status" "$?|$(cat err)" "0|"
expect "the next run: every file stored" \
  "$("${psql[@]}" "$local_url" -c "SELECT count(*) FROM qavrel_campaign.data_files")" 400
finish
