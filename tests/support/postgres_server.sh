#!/usr/bin/env bash
# A throwaway PostgreSQL server for tests, on a Unix socket in a folder of
# its own: nothing listens on the network, and fsync is off for speed.
#
# Sourced by a bash test:
#   source postgres_server.sh
#   require_postgres_server        # SKIP (exit 77) when the binaries are missing
#   url=$(postgres_server_start "$work/pg")
#   ...
#   postgres_server_stop "$work/pg"
# or run as a command:
#   postgres_server.sh start DIR [PORT]       prints the connection string
#   postgres_server.sh stop DIR [MODE]        MODE as pg_ctl's -m (fast, immediate)
#   postgres_server.sh password DIR ROLE PASSWORD
#                                             makes ROLE log in with PASSWORD only
#
# The connection string is "host=DIR dbname=postgres user=qavrel": the
# superuser is named qavrel whoever runs the server, and any local user may
# connect as it without a password (trust), as tests need no more.
# PostgreSQL refuses to run as root: then the server runs as nobody, and
# DIR is handed to it (its parents must let nobody through: chmod o+x);
# root still reaches the socket.
#
# When the binaries are missing, start exits 77 after one SKIP line (a
# test's skip), unless QAVREL_REQUIRE_ALL is set, when it fails.

postgres_superuser=qavrel

# The folder of initdb, pg_ctl and psql.
postgres_bindir() {
  local dir
  for dir in "$(pg_config --bindir 2>/dev/null)" /usr/lib/postgresql/*/bin; do
    [[ -n $dir && -x $dir/initdb && -x $dir/pg_ctl && -x $dir/psql ]] && {
      echo "$dir"
      return 0
    }
  done
  local found
  found=$(command -v initdb) && [[ -x $(dirname "$found")/pg_ctl ]] && dirname "$found"
}

require_postgres_server() {
  postgres_bindir >/dev/null && return 0
  local why="none in pg_config --bindir, /usr/lib/postgresql/*/bin or PATH"
  if [[ -n ${QAVREL_REQUIRE_ALL:-} ]]; then
    echo "FAIL: no PostgreSQL server binaries (initdb, pg_ctl): $why, and QAVREL_REQUIRE_ALL is set" >&2
    exit 1
  fi
  echo "SKIP: no PostgreSQL server binaries (initdb, pg_ctl): $why (Debian: postgresql)"
  exit 77
}

# as_server_user COMMAND...: runs it as the user the server runs as.
as_server_user() {
  if [[ $(id -u) == 0 ]]; then
    setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@"
  else
    "$@"
  fi
}

# postgres_server_start DIR [PORT]: makes the server's data in DIR/data on
# first use, starts it and prints its connection string. With PORT, it
# also listens on 127.0.0.1 at that port.
postgres_server_start() {
  local dir bin listen="" port=5432
  dir=$(realpath -m "$1")
  [[ -n ${2:-} ]] && listen=127.0.0.1 port=$2
  bin=$(postgres_bindir) || return 1
  mkdir -p "$dir"
  if [[ $(id -u) == 0 ]]; then
    chown nobody:nogroup "$dir"
    as_server_user test -w "$dir" || {
      echo "user nobody, who runs the server, can't reach $dir: its parents must be searchable (chmod o+x)" >&2
      return 1
    }
  fi
  if [[ ! -d $dir/data ]]; then
    as_server_user "$bin/initdb" -D "$dir/data" -U "$postgres_superuser" -E UTF8 \
      --locale=C --auth=trust >"$dir/initdb.log" 2>&1 || {
      echo "initdb failed:" >&2
      cat "$dir/initdb.log" >&2
      return 1
    }
  fi
  as_server_user "$bin/pg_ctl" start -w -D "$dir/data" -l "$dir/server.log" \
    -o "-c listen_addresses='$listen' -c port=$port -c unix_socket_directories='$dir' -c fsync=off \
-c synchronous_commit=off -c full_page_writes=off" >/dev/null || {
    echo "pg_ctl start failed:" >&2
    cat "$dir/server.log" >&2
    return 1
  }
  echo "host=$dir${2:+ port=$2} dbname=postgres user=$postgres_superuser"
}

# postgres_server_stop DIR [MODE]
postgres_server_stop() {
  local bin
  bin=$(postgres_bindir) || return 1
  as_server_user "$bin/pg_ctl" stop -w -D "$(realpath -m "$1")/data" -m "${2:-fast}" >/dev/null
}

# postgres_server_password DIR ROLE PASSWORD: a role that logs in with
# PASSWORD (scram-sha-256) and nothing else.
postgres_server_password() {
  local dir bin
  dir=$(realpath -m "$1")
  bin=$(postgres_bindir) || return 1
  "$bin/psql" -q -X -v ON_ERROR_STOP=1 -v role="$2" -v password="$3" \
    "host=$dir dbname=postgres user=$postgres_superuser" >/dev/null <<'SQL' || return 1
SELECT format('CREATE ROLE %I LOGIN PASSWORD %L', :'role', :'password')
  WHERE NOT EXISTS (SELECT FROM pg_roles WHERE rolname = :'role') \gexec
SELECT format('ALTER ROLE %I PASSWORD %L', :'role', :'password') \gexec
SQL
  # The role's line first, so that trust no longer lets it in.
  local hba=$dir/data/pg_hba.conf
  grep -q "^local all $2 scram-sha-256\$" "$hba" ||
    as_server_user sed -i "1i local all $2 scram-sha-256" "$hba"
  as_server_user "$bin/pg_ctl" reload -D "$dir/data" >/dev/null
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  case ${1:-} in
    start) require_postgres_server && postgres_server_start "$2" "${3:-}" ;;
    stop) postgres_server_stop "$2" "${3:-fast}" ;;
    password) postgres_server_password "$2" "$3" "$4" ;;
    *)
      echo "usage: $0 start DIR [PORT] | stop DIR [MODE] | password DIR ROLE PASSWORD" >&2
      exit 2
      ;;
  esac
fi
