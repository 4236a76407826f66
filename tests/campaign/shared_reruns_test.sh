#!/usr/bin/env bash
# The random histories of reruns_test.py with the analyses kept in a
# PostgreSQL store: every rerun still equals a clean run.
# usage: shared_reruns_test.sh QAVREL_CAMPAIGN QAVREL_GEN [EMULATOR...]
set -u
here=$(dirname "$(realpath "$0")")
# shellcheck source=../support/postgres_server.sh
source "$here/../support/postgres_server.sh"
require_postgres_server
server=$(mktemp -d)
chmod o+x "$server"
trap 'postgres_server_stop "$server/pg" immediate 2>/dev/null; rm -rf "$server"' EXIT
url=$(postgres_server_start "$server/pg") || exit 1
QAVREL_RERUNS_STORE=$url python3 "$here/reruns_test.py" "$@"
