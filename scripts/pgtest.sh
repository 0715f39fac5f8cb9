#!/usr/bin/env bash
# A private PostgreSQL server for the ODBC tests and benchmarks: its own data
# and socket directory, a free port, no TCP listener, stopped at the end.
#
#   scripts/pgtest.sh <command> [args...]   runs one command beside a server,
#       e.g. scripts/pgtest.sh build/tests/Brindle_odbc_Tests
#   source scripts/pgtest.sh; brindle_pg_start <dir>; ...; brindle_pg_stop
#
# The server's whereabouts go to the environment as BRINDLE_PG_HOST (the
# socket directory), BRINDLE_PG_PORT, BRINDLE_PG_USER, BRINDLE_PG_DATABASE.
# PostgreSQL does not run as root: as root, the server runs as user postgres.

brindle_pg_start() {
  local dir=$1
  local bin
  bin=$(pg_config --bindir 2>/dev/null || true)
  if [ ! -x "$bin/initdb" ]; then
    bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
  fi
  if [ ! -x "$bin/initdb" ]; then
    echo "pgtest: no PostgreSQL server programs found (initdb, pg_ctl)" >&2
    return 1
  fi
  BRINDLE_PG_RUNAS=()
  rm -rf "$dir"
  mkdir -p "$dir"
  if [ "$(id -u)" = 0 ]; then
    BRINDLE_PG_RUNAS=(runuser -u postgres --)
    chown postgres "$dir"
  fi
  local port
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  if ! "${BRINDLE_PG_RUNAS[@]}" "$bin/initdb" -D "$dir/data" -A trust -U postgres -E UTF8 --locale=C >"$dir/initdb.log" 2>&1; then
    cat "$dir/initdb.log" >&2
    return 1
  fi
  BRINDLE_PG_DIR=$dir
  BRINDLE_PG_BIN=$bin
  if ! "${BRINDLE_PG_RUNAS[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 120 \
       -o "-k $dir -p $port -c listen_addresses='' -c fsync=off -c max_connections=200" start >/dev/null; then
    cat "$dir/server.log" >&2
    return 1
  fi
  export BRINDLE_PG_HOST=$dir BRINDLE_PG_PORT=$port BRINDLE_PG_USER=postgres BRINDLE_PG_DATABASE=postgres
}

brindle_pg_stop() {
  if [ -n "${BRINDLE_PG_DIR:-}" ] && [ -d "$BRINDLE_PG_DIR/data" ]; then
    "${BRINDLE_PG_RUNAS[@]}" "$BRINDLE_PG_BIN/pg_ctl" -D "$BRINDLE_PG_DIR/data" -m fast -w stop >/dev/null 2>&1 || true
    rm -rf "$BRINDLE_PG_DIR"
  fi
  BRINDLE_PG_DIR=
  unset BRINDLE_PG_HOST BRINDLE_PG_PORT BRINDLE_PG_USER BRINDLE_PG_DATABASE
}

# Run as a program: one command beside a server of its own.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  if [ $# -eq 0 ]; then
    echo "usage: $0 <command> [args...]" >&2
    exit 2
  fi
  pgdir=$(mktemp -d /tmp/brindle-pg-XXXXXX)
  trap brindle_pg_stop EXIT
  brindle_pg_start "$pgdir"
  set +e
  "$@"
  status=$?
  exit $status
fi
