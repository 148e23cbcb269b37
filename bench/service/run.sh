#!/usr/bin/env bash
# The service under wrk, 200 keep-alive TLS connections, on both stores and with one and two instances:
# "useraccount" beside nginx serving a reply of the same size with the same certificate, money operations
# (small swaps) beside the raw one-row transaction rate of SQLite and of PostgreSQL with the same settings.
# Two instances share the connections: two wrk processes at once, 100 connections each.
#
# Usage: bench/service/run.sh BUILD_DIR [SECONDS]
#   AMBERVALE_BENCH_SERVICE_ARGS="--sync normal"  commits that survive a crash of the service but not of the
#                                                 machine: SQLite synchronous=NORMAL, PostgreSQL
#                                                 synchronous_commit=off (default: both wait for the disk)
#   AMBERVALE_BENCH_STORES="sqlite postgresql"    which stores to measure
#   AMBERVALE_BENCH_ACCOUNTS=20                    the swaps run twice: all from one account (every
#                                                 transaction on the same rows), then spread over this many
#   AMBERVALE_BENCH_PERF=1                        a CPU profile (perf, cpu-clock samples) of the instances and
#                                                 of PostgreSQL during each run of one instance: where the time goes
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(cd "${1:?build directory}" && pwd)"
seconds="${2:-10}"
service="$build/bin/ambervale-service"
rate="$build/bench/service/sqlite_rate"
pgbin=/usr/lib/postgresql/15/bin
stores="${AMBERVALE_BENCH_STORES:-sqlite postgresql}"
accounts="${AMBERVALE_BENCH_ACCOUNTS:-20}"
for tool in wrk nginx curl haproxy; do command -v "$tool" >/dev/null || { echo "needs $tool (scripts/install-deps.sh)"; exit 1; }; done
case "$stores" in *postgresql*) [ -x "$pgbin/pgbench" ] || { echo "needs postgresql-15 (scripts/install-deps.sh)"; exit 1; } ;; esac
sync=full
case "${AMBERVALE_BENCH_SERVICE_ARGS:-}" in *"--sync normal"*) sync=normal ;; esac

work="$(mktemp -d)"
chmod 755 "$work" # the database cluster inside belongs to another user
pids=()
pgdir=""
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  [ -n "$pgdir" ] && "$root/scripts/pg-cluster.sh" stop "$pgdir"
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

digest="$(printf '%s' bench-password | md5sum | cut -c1-32 | tr a-f A-F)"
body="a=useraccount&ref=&s=bench&pass=$digest&session=0123456789ABCDEF0123456789ABCDEF"

wait_answer() { # port ca
  for _ in $(seq 200); do
    curl -s --cacert "$2" "https://127.0.0.1:$1/api.php" -d "a=all_json_setting&session=0123456789ABCDEF0123456789ABCDEF" \
      >/dev/null && return 0
    sleep 0.1
  done
  echo "the service on port $1 does not answer"
  exit 1
}

# A data folder with the bench account (store options in $store_args), and its first instance.
store_args=()
prepare() { # data
  "$service" init --data "$1" --host 127.0.0.1 "${store_args[@]}" >/dev/null
  for login in bench $many; do
    "$service" add-account "$login" bench-password --data "$1" "${store_args[@]}" >/dev/null
    for c in "usdt 1000000" "doge 1000000" "btc 1"; do
      # shellcheck disable=SC2086
      "$service" credit "$login" $c --data "$1" "${store_args[@]}" >/dev/null
    done
  done
}
many="$(seq -f 'bench%g' 2 "$accounts" | tr '\n' ' ')"
logins=bench
start_instance() { # data port
  # shellcheck disable=SC2086
  "$service" --data "$1" --port "$2" --host 127.0.0.1 --bind 127.0.0.1 "${store_args[@]}" \
    ${AMBERVALE_BENCH_SERVICE_ARGS:-} 2>>"$work/service.err" &
  pids+=($!)
  wait_answer "$2" "$1/ca.pem"
}
stop_instances() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  pids=()
}

# p99 texts of wrk ("850.12us", "52.10ms", "1.20s") in milliseconds.
to_ms() { awk -v v="$1" 'BEGIN { n = v + 0; if (v ~ /us$/) n /= 1000; else if (v ~ /ms$/) n = n; else if (v ~ /s$/) n *= 1000; printf "%.1f", n }'; }

# Session tokens of the last two minutes (the client's: MD5 of the second's text and its MD5, twice): the
# service takes money actions only with a token of about now.
md5_upper() { printf '%s' "$1" | md5sum | cut -c1-32 | tr a-f A-F; }
recent_tokens() {
  local now t
  now="$(date -u +%s)"
  for ((t = now - 120; t <= now; t++)); do
    printf '%s ' "$(md5_upper "$(md5_upper "$t$(md5_upper "$t")")")"
  done
}

results="$work/results.txt"
: >"$results"
# name script port... : one wrk over all connections per port at once; the sum of the rates, the worst p99.
run_wrk() {
  local name="$1" script="$2"
  shift 2
  [ "${profile:-0}" = 1 ] && pg_mark
  local cpu_service cpu_pg
  cpu_service="$(cpu_ticks "${pids[@]}")"
  cpu_pg="$(cpu_ticks $(pg_pids))"
  local conns=$((200 / $#)) threads=$((2 / $# > 0 ? 2 / $# : 1)) i=0 files=() wrks=()
  local tokens
  tokens="$(recent_tokens)"
  for port in "$@"; do
    i=$((i + 1))
    AMBERVALE_BENCH_BODY="$body" AMBERVALE_BENCH_LOGINS="$logins" AMBERVALE_BENCH_DIGEST="$digest" \
      AMBERVALE_BENCH_TOKENS="$tokens" \
      wrk -t"$threads" -c"$conns" -d"${seconds}s" --latency -s "$script" "https://127.0.0.1:$port/api.php" \
      >"$work/wrk.$i.txt" 2>&1 &
    wrks+=($!)
    files+=("$work/wrk.$i.txt")
  done
  local perf_pid=""
  if [ "${AMBERVALE_BENCH_PERF:-0}" = 1 ] && [ "$name" != "${name#*1 instance}" ]; then
    perf_file="$work/perf.$(echo "$name" | tr -c 'a-z0-9' '_').data"
    # shellcheck disable=SC2046
    perf record -q -F 499 -e cpu-clock -g -o "$perf_file" -p "$(echo "${pids[@]}" $(pg_pids) | tr ' ' ',')" \
      -- sleep "$seconds" >/dev/null 2>&1 &
    perf_pid=$!
  fi
  wait "${wrks[@]}" || true
  if [ -n "$perf_pid" ]; then
    wait "$perf_pid" || true
    { echo "== $name: the busiest functions (cpu-clock samples, service and PostgreSQL)"
      perf report -q -i "$perf_file" --stdio --no-children --sort comm,dso,symbol 2>/dev/null |
        grep -E '^ +[0-9]' | head -25 || true
    } >>"$work/perf.txt"
  fi
  local rps=0 p99=0 errors=""
  last_requests=0
  for f in "${files[@]}"; do
    last_requests="$(awk -v a="$last_requests" '/requests in/ {a += $1} END {print a}' "$f")"
    rps="$(awk -v a="$rps" '/Requests\/sec/ {a += $2} END {printf "%.0f", a}' "$f")"
    local p
    p="$(to_ms "$(awk '$1 == "99%" {print $2}' "$f")")"
    p99="$(awk -v a="$p99" -v b="$p" 'BEGIN {print (b > a ? b : a)}')"
    errors+="$(grep -E "Non-2xx|Socket errors|non-2xx or socket errors: [1-9]" "$f" | tr '\n' ' ' || true)"
  done
  printf '%-44s %8s replies/s   p99 %7s ms  %s\n' "$name" "$rps" "$p99" "$errors" | tee -a "$results"
  [ "${profile:-0}" = 1 ] && pg_report "$name" "$last_requests"
  if [ "$name" != "${name#*instance}" ] && [ "$last_requests" -gt 0 ]; then
    awk -v n="$name" -v r="$last_requests" -v s=$(($(cpu_ticks "${pids[@]}") - cpu_service)) \
      -v p=$(($(cpu_ticks $(pg_pids)) - cpu_pg)) -v hz="$(getconf CLK_TCK)" -v t="$seconds" \
      'BEGIN { printf "  %-42s %6.0f us in the service, %6.0f us in PostgreSQL (%.0f %% and %.0f %% of 2 cores)\n",
               n, s / hz / r * 1e6, p / hz / r * 1e6, s / hz / t / 2 * 100, p / hz / t / 2 * 100 }' >>"$work/cpu.txt"
  fi
  return 0
}

swaps() { # label port...
  local label="$1"
  shift
  logins=bench
  run_wrk "$label: swaps, 1 account" "$here/money.lua" "$@"
  [ "${profile:-0}" = 1 ] && pg_statements
  logins="bench $many"
  run_wrk "$label: swaps, $accounts accounts" "$here/money.lua" "$@"
  logins=bench
}

# CPU time (clock ticks) the processes used so far.
cpu_ticks() {
  local total=0 p
  for p in "$@"; do
    [ -r "/proc/$p/stat" ] || continue
    total=$((total + $(awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$p/stat")))
  done
  echo "$total"
}
pg_pids() { # the postmaster and its children
  [ -n "$pgdir" ] && [ -r "$pgdir/data/postmaster.pid" ] || return 0
  local main
  main="$(head -1 "$pgdir/data/postmaster.pid")"
  echo "$main $(pgrep -P "$main" -d ' ' || true)"
}

# What the database did for the requests of one run.
psql_bench() { "$pgbin/psql" -XAt -d "$benchuri" -c "$1"; }
pg_mark() {
  psql_bench "SELECT pg_stat_statements_reset()" >/dev/null
  movements_before="$(psql_bench "SELECT count(*) FROM txns")"
}
pg_report() { # name requests
  local counts moved
  # Money runs count what was done (wrk leaves requests under way uncounted when it stops).
  moved=$(($(psql_bench "SELECT count(*) FROM txns") - movements_before))
  [ "$moved" -gt 0 ] && set -- "$1" "$moved"
  # BEGIN and ROLLBACK are statements too: transactions and the ones undone (serialization failures).
  counts="$(psql_bench "SELECT coalesce(sum(calls), 0), coalesce(sum(calls) FILTER (WHERE query ILIKE 'begin%'), 0),
      coalesce(sum(calls) FILTER (WHERE query ILIKE 'rollback%'), 0)
    FROM pg_stat_statements WHERE dbid = (SELECT oid FROM pg_database WHERE datname = 'bench')" | tr '|' ' ')"
  # shellcheck disable=SC2086
  set -- "$1" "$2" $counts
  awk -v n="$1" -v r="$2" -v c="$3" -v x="$4" -v b="$5" \
    'BEGIN { if (r > 0) printf "  %-42s %5.1f statements, %4.2f transactions, %4.2f rolled back\n", n, (c - x - b) / r, x / r, b / r }' \
    >>"$work/profile.txt"
}
pg_statements() {
  "$pgbin/psql" -X -d "$benchuri" -c "SELECT calls, round(total_exec_time::numeric, 0) AS total_ms,
      round(mean_exec_time::numeric, 3) AS mean_ms, left(regexp_replace(query, '\s+', ' ', 'g'), 90) AS query
    FROM pg_stat_statements WHERE dbid = (SELECT oid FROM pg_database WHERE datname = 'bench')
    ORDER BY total_exec_time DESC LIMIT 10" >"$work/statements.txt" 2>&1 || true
}

echo "$(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg); 200 keep-alive TLS connections, ${seconds}s" \
  "per run; commits: $sync"

# SQLite: one instance (the store is one file on one machine).
sport="$(free_port)"
nport="$(free_port)"
if [[ " $stores " == *" sqlite "* ]]; then
  store_args=()
  prepare "$work/sqlite"
  start_instance "$work/sqlite" "$sport"
  ca="$work/sqlite/ca.pem"
  cert_dir="$work/sqlite"
  reply="$(curl -s --cacert "$ca" "https://127.0.0.1:$sport/api.php" -d "$body")"
fi

# PostgreSQL: a throw-away cluster with the same durability as SQLite's setting.
if [[ " $stores " == *" postgresql "* ]]; then
  pgdir="$work/pg"
  pguri="$(PG_CLUSTER_FSYNC=on "$root/scripts/pg-cluster.sh" start "$pgdir")"
  [ "$sync" = normal ] && "$pgbin/psql" -Xq -d "$pguri" -c "ALTER SYSTEM SET synchronous_commit = off" \
    -c "SELECT pg_reload_conf()" >/dev/null
  "$pgbin/psql" -Xq -d "$pguri" -c "CREATE DATABASE bench" >/dev/null
  benchuri="${pguri%/*}/bench"
  "$pgbin/psql" -Xq -d "$benchuri" -c "CREATE EXTENSION pg_stat_statements" >/dev/null
fi

# nginx: a certificate made by the service, a fixed reply of the same size.
if [ -z "${reply:-}" ]; then
  store_args=(--store "$benchuri")
  prepare "$work/pg1"
  start_instance "$work/pg1" "$sport"
  cert_dir="$work/pg1"
  reply="$(curl -s --cacert "$cert_dir/ca.pem" "https://127.0.0.1:$sport/api.php" -d "$body")"
  stop_instances
fi
mkdir -p "$work/nginx/logs"
printf '%s' "$reply" | tr '"\\' 'xx' >"$work/nginx/reply.txt"
cat >"$work/nginx/nginx.conf" <<CONF
worker_processes 2;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log;
events { worker_connections 4096; }
http {
  access_log off;
  keepalive_requests 10000000;
  keepalive_timeout 60s;
  client_body_temp_path $work/nginx;
  server {
    listen 127.0.0.1:$nport ssl;
    ssl_certificate $cert_dir/server.pem;
    ssl_certificate_key $cert_dir/server.key;
    location / { default_type application/json; return 200 '$(cat "$work/nginx/reply.txt")'; }
  }
}
CONF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
sleep 0.5
echo "reply size: ${#reply} bytes"
run_wrk "nginx (same size, same cert)" "$here/useraccount.lua" "$nport"
kill "$nginx_pid"
wait "$nginx_pid" 2>/dev/null || true

if [[ " $stores " == *" sqlite "* ]]; then
  run_wrk "sqlite, 1 instance: useraccount" "$here/useraccount.lua" "$sport"
  swaps "sqlite, 1 instance" "$sport"
  "$service" verify --data "$work/sqlite" | tail -1
  stop_instances
  printf '%-44s %8s tx/s (synchronous=%s)\n' "raw SQLite one-row tx" "$("$rate" "$work/raw.db" "$sync" 5)" "$sync" |
    tee -a "$results"
fi

if [[ " $stores " == *" postgresql "* ]]; then
  store_args=(--store "$benchuri")
  [ -d "$work/pg1" ] || prepare "$work/pg1"
  "$service" init --data "$work/pg2" --host 127.0.0.1 >/dev/null
  port2="$(free_port)"
  start_instance "$work/pg1" "$sport"
  profile=1
  run_wrk "postgresql, 1 instance: useraccount" "$here/useraccount.lua" "$sport"
  swaps "postgresql, 1 instance" "$sport"
  profile=0
  start_instance "$work/pg2" "$port2"
  run_wrk "postgresql, 2 instances: useraccount" "$here/useraccount.lua" "$sport" "$port2"
  swaps "postgresql, 2 instances" "$sport" "$port2"
  # The same two behind HAProxy: TLS ended there and spoken again to the instances, checks on /healthz.
  if command -v haproxy >/dev/null; then
    hport="$(free_port)"
    cat "$work/pg1/server.pem" "$work/pg1/server.key" >"$work/front.pem"
    cat >"$work/haproxy.cfg" <<CONF
global
  maxconn 4000
defaults
  mode http
  timeout connect 5s
  timeout client 60s
  timeout server 60s
  retries 0
frontend front
  bind 127.0.0.1:$hport ssl crt $work/front.pem alpn http/1.1
  default_backend instances
backend instances
  balance leastconn
  option httpchk GET /healthz
  http-check expect status 200
  http-reuse safe
  default-server check inter 2s ssl verify none
  server one 127.0.0.1:$sport
  server two 127.0.0.1:$port2
CONF
    haproxy -db -f "$work/haproxy.cfg" 2>>"$work/service.err" &
    haproxy_pid=$!
    for _ in $(seq 100); do
      curl -s -o /dev/null -w '%{http_code}' --cacert "$work/pg1/ca.pem" "https://127.0.0.1:$hport/healthz" |
        grep -q 200 && break
      sleep 0.1
    done
    run_wrk "postgresql, 2 instances behind HAProxy: useraccount" "$here/useraccount.lua" "$hport"
    swaps "postgresql, 2 instances behind HAProxy" "$hport"
    kill "$haproxy_pid"
    wait "$haproxy_pid" 2>/dev/null || true
  fi
  stop_instances
  "$service" verify --data "$work/pg1" "${store_args[@]}" | tail -1
  # The raw rate: one-row update transactions from 8 clients, the same durability.
  "$pgbin/psql" -Xq -d "$benchuri" -c "CREATE TABLE raw_rate(id int PRIMARY KEY, n bigint);
    INSERT INTO raw_rate SELECT g, 0 FROM generate_series(1, 1000) g" >/dev/null
  echo '\set id random(1, 1000)
UPDATE raw_rate SET n = n + 1 WHERE id = :id;' >"$work/raw.sql"
  tps="$("$pgbin/pgbench" -n -c 8 -j 2 -T 5 -f "$work/raw.sql" "$benchuri" 2>/dev/null |
    awk '/^tps/ {printf "%.0f", $3}')"
  printf '%-44s %8s tx/s (8 clients, synchronous_commit=%s)\n' "raw PostgreSQL one-row tx" "$tps" \
    "$([ "$sync" = normal ] && echo off || echo on)" | tee -a "$results"
  echo "PostgreSQL per request (per money movement done, for swaps), one instance:"
  cat "$work/profile.txt"
  echo "The costliest statements of the one-instance swaps from one account:"
  cat "$work/statements.txt"
fi
if [ -s "$work/perf.txt" ]; then
  echo
  cat "$work/perf.txt"
fi
echo
echo "CPU per reply (both cores are shared with wrk and whatever else runs):"
cat "$work/cpu.txt"
# Anything the instances complained about, counted.
{ grep -v -E "^$|listening|stopping|stopped" "$work/service.err" || true; } | sort | uniq -c | head -5
