#!/usr/bin/env bash
# A throw-away PostgreSQL 15 cluster for tests and benchmarks, all of it in one folder.
#
#   scripts/pg-cluster.sh start DIR [PORT]   # makes and starts it; prints the conninfo (a superuser URI)
#   scripts/pg-cluster.sh restart DIR        # stops it fast and starts it again on the same port
#   scripts/pg-cluster.sh pause DIR          # stops the server fast, keeps DIR (for "the database is down")
#   scripts/pg-cluster.sh resume DIR         # starts a paused server again on the same port
#   scripts/pg-cluster.sh stop DIR           # stops it and removes DIR
#
# The server listens on 127.0.0.1 (port PORT, or a free one) and on a unix socket in DIR, trusts every
# local connection and runs with fsync off: it holds nothing worth keeping, and a test must not wait for
# the disk. PG_CLUSTER_FSYNC=on keeps fsync and synchronous commit (for benchmarks that compare stores
# fairly). initdb refuses to run as root, so as root the cluster belongs to the system user
# "ambervale-test" (made when missing).
set -euo pipefail

bin="${PG_BIN:-/usr/lib/postgresql/15/bin}"
user=ambervale-test
role=ambervale

die() {
  echo "pg-cluster: $*" >&2
  exit 1
}

# Runs a command as the cluster's owner.
as_owner() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u "$user" -- "$@"
  else
    "$@"
  fi
}

ensure_user() {
  [ "$(id -u)" -eq 0 ] || return 0
  id -u "$user" >/dev/null 2>&1 && return 0
  # Two scripts may race here; the loser finds the user made.
  useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user" 2>/dev/null ||
    id -u "$user" >/dev/null 2>&1 || die "cannot create the user $user"
}

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

server_start() { # dir port
  as_owner "$bin/pg_ctl" start -w -t 60 -D "$1/data" -l "$1/server.log" -o "-p $2" >/dev/null ||
    return 1
}

conninfo() { echo "postgresql://$role@127.0.0.1:$1/postgres"; }

cmd_start() {
  local dir="${1:?usage: pg-cluster.sh start DIR [PORT]}" port="${2:-}"
  [ -x "$bin/initdb" ] || die "PostgreSQL 15 is missing ($bin/initdb): scripts/install-deps.sh installs it"
  mkdir -p "$dir"
  dir="$(cd "$dir" && pwd)"
  [ -z "$(ls -A "$dir")" ] || die "$dir is not empty"
  ensure_user
  if [ "$(id -u)" -eq 0 ]; then
    chown "$user" "$dir"
    as_owner test -w "$dir" || die "$user cannot reach $dir (a folder above it is closed to others)"
  fi
  chmod 700 "$dir"
  as_owner "$bin/initdb" -D "$dir/data" -U "$role" --auth=trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 ||
    as_owner "$bin/initdb" -D "$dir/data" -U "$role" --auth=trust -E UTF8 --locale=C >"$dir/initdb.log" 2>&1 ||
    die "initdb failed: $(tail -5 "$dir/initdb.log")"
  local durable=off
  [ "${PG_CLUSTER_FSYNC:-off}" = on ] && durable=on
  cat >>"$dir/data/postgresql.conf" <<CONF
# throw-away cluster (scripts/pg-cluster.sh)
listen_addresses = '127.0.0.1'
unix_socket_directories = '$dir'
max_connections = 400
fsync = $durable
synchronous_commit = $durable
full_page_writes = $durable
shared_preload_libraries = 'pg_stat_statements'
log_min_messages = warning
CONF
  # Only loopback and the socket, both trusted: nothing outside this machine can reach it.
  cat >"$dir/data/pg_hba.conf" <<HBA
local all all trust
host all all 127.0.0.1/32 trust
HBA
  local tries=0
  while :; do
    if [ -z "${2:-}" ]; then
      port=$((20000 + RANDOM % 40000))
      port_in_use "$port" && continue
    fi
    echo "$port" >"$dir/port"
    server_start "$dir" "$port" && break
    tries=$((tries + 1))
    # A port taken between the check and the start: try another, unless it was given.
    [ -z "${2:-}" ] && [ "$tries" -lt 5 ] || die "the server does not start: $(tail -5 "$dir/server.log")"
  done
  conninfo "$port"
}

cmd_pause() {
  local dir="${1:?usage: pg-cluster.sh pause DIR}"
  [ -f "$dir/port" ] || die "no cluster in $dir"
  as_owner "$bin/pg_ctl" stop -w -t 60 -m fast -D "$dir/data" >/dev/null 2>&1 || true
}

cmd_resume() {
  local dir="${1:?usage: pg-cluster.sh resume DIR}"
  [ -f "$dir/port" ] || die "no cluster in $dir"
  local port
  port="$(cat "$dir/port")"
  # The old socket may linger for a moment.
  for _ in $(seq 50); do
    server_start "$dir" "$port" && {
      conninfo "$port"
      return 0
    }
    sleep 0.2
  done
  die "the server does not start again: $(tail -5 "$dir/server.log")"
}

cmd_restart() {
  cmd_pause "$@"
  cmd_resume "$@"
}

cmd_stop() {
  local dir="${1:?usage: pg-cluster.sh stop DIR}"
  [ -d "$dir" ] || return 0
  if [ -d "$dir/data" ]; then
    as_owner "$bin/pg_ctl" stop -w -t 30 -m fast -D "$dir/data" >/dev/null 2>&1 ||
      as_owner "$bin/pg_ctl" stop -w -t 30 -m immediate -D "$dir/data" >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
}

case "${1:-}" in
start) cmd_start "${@:2}" ;;
restart) cmd_restart "${@:2}" ;;
pause) cmd_pause "${@:2}" ;;
resume) cmd_resume "${@:2}" ;;
stop) cmd_stop "${@:2}" ;;
*)
  echo "usage: pg-cluster.sh start DIR [PORT] | restart DIR | pause DIR | resume DIR | stop DIR" >&2
  exit 2
  ;;
esac
