#!/usr/bin/env bash
# "history" of one account holding 100,000 items (real swaps, among other accounts' items) under wrk: the newest
# page and pages below random ids, at the bench's 200 keep-alive TLS connections and at 4 (where the time is the
# service's own, not the queue's); "useraccount" in the same run for comparison; the page's statement alone.
#
# Usage: bench/service/history.sh BUILD_DIR [SECONDS]
#   AMBERVALE_BENCH_STORES="sqlite postgresql"   which stores to measure (default: sqlite)
#   AMBERVALE_BENCH_ITEMS=100000                 items of the account
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="$(cd "${1:?build directory}" && pwd)"
seconds="${2:-10}"
service="$build/bin/ambervale-service"
pgbin=/usr/lib/postgresql/15/bin
stores="${AMBERVALE_BENCH_STORES:-sqlite}"
items="${AMBERVALE_BENCH_ITEMS:-100000}"
for tool in wrk curl sqlite3; do command -v "$tool" >/dev/null || { echo "needs $tool (scripts/install-deps.sh)"; exit 1; }; done

work="$(mktemp -d)"
chmod 755 "$work"
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
md5_upper() { printf '%s' "$1" | md5sum | cut -c1-32 | tr a-f A-F; }
recent_tokens() {
  local now t
  now="$(date -u +%s)"
  for ((t = now - 120; t <= now; t++)); do printf '%s ' "$(md5_upper "$(md5_upper "$t$(md5_upper "$t")")")"; done
}
to_ms() { awk -v v="$1" 'BEGIN { n = v + 0; if (v ~ /us$/) n /= 1000; else if (v ~ /ms$/) n = n; else if (v ~ /s$/) n *= 1000; printf "%.2f", n }'; }

digest="$(md5_upper bench-password)"
session=0123456789ABCDEF0123456789ABCDEF
others="$(seq -f 'other%g' 1 19 | tr '\n' ' ')"

start_instance() { # data port extra-args...
  local data="$1" port="$2"
  shift 2
  "$service" --data "$data" --port "$port" --host 127.0.0.1 --bind 127.0.0.1 "${store_args[@]}" "$@" \
    2>>"$work/service.err" &
  pids+=($!)
  for _ in $(seq 200); do
    curl -s --cacert "$data/ca.pem" "https://127.0.0.1:$port/api.php" -d "a=all_json_setting&session=$session" \
      >/dev/null && return 0
    sleep 0.1
  done
  echo "the service does not answer"
  exit 1
}
stop_instances() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  pids=()
}

# name connections script port [env...]: one wrk run; its rate and p99.
run_wrk() {
  local name="$1" conns="$2" script="$3" port="$4"
  shift 4
  env "$@" wrk -t2 -c"$conns" -d"${seconds}s" --latency -s "$script" "https://127.0.0.1:$port/api.php" \
    >"$work/wrk.txt" 2>&1 || true
  printf '%-52s %7s replies/s   p50 %7s ms   p99 %7s ms  %s\n' "$name" \
    "$(awk '/Requests\/sec/ {printf "%.0f", $2}' "$work/wrk.txt")" \
    "$(to_ms "$(awk '$1 == "50%" {print $2}' "$work/wrk.txt")")" \
    "$(to_ms "$(awk '$1 == "99%" {print $2}' "$work/wrk.txt")")" \
    "$(grep -E "Non-2xx|Socket errors|non-2xx or socket errors: [1-9]" "$work/wrk.txt" | tr '\n' ' ' || true)"
}

count_items() { # login
  if [ "$store" = sqlite ]; then
    sqlite3 "$data/ambervale.db" "SELECT COUNT(*) FROM history h JOIN accounts a ON a.id = h.account_id WHERE a.login = '$1'"
  else
    "$pgbin/psql" -XAt -d "$benchuri" -c "SELECT COUNT(*) FROM history h JOIN accounts a ON a.id = h.account_id WHERE a.login = '$1'"
  fi
}

echo "$(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg); ${seconds}s per run"
for store in $stores; do
  data="$work/$store"
  store_args=()
  if [ "$store" = postgresql ]; then
    pgdir="$work/pg"
    pguri="$(PG_CLUSTER_FSYNC=on "$root/scripts/pg-cluster.sh" start "$pgdir")"
    "$pgbin/psql" -Xq -d "$pguri" -c "CREATE DATABASE bench" >/dev/null
    benchuri="${pguri%/*}/bench"
    store_args=(--store "$benchuri")
  fi
  "$service" init --data "$data" --host 127.0.0.1 "${store_args[@]}" >/dev/null
  for login in bench $others; do
    "$service" add-account "$login" bench-password --data "$data" "${store_args[@]}" >/dev/null
    "$service" credit "$login" usdt 1000000 --data "$data" "${store_args[@]}" >/dev/null
    "$service" credit "$login" doge 1000000 --data "$data" "${store_args[@]}" >/dev/null
  done
  port="$(free_port)"
  # Filling: real swaps (two items each), commits not waiting for the disk, then the other accounts' share.
  start_instance "$data" "$port" --sync normal
  fill_start=$SECONDS
  while [ "$(count_items bench)" -lt "$items" ]; do
    AMBERVALE_BENCH_LOGINS=bench AMBERVALE_BENCH_DIGEST="$digest" AMBERVALE_BENCH_TOKENS="$(recent_tokens)" \
      wrk -t2 -c32 -d10s -s "$here/money.lua" "https://127.0.0.1:$port/api.php" >/dev/null 2>&1 || true
  done
  AMBERVALE_BENCH_LOGINS="$others" AMBERVALE_BENCH_DIGEST="$digest" AMBERVALE_BENCH_TOKENS="$(recent_tokens)" \
    wrk -t2 -c32 -d10s -s "$here/money.lua" "https://127.0.0.1:$port/api.php" >/dev/null 2>&1 || true
  stop_instances
  echo "$store: bench holds $(count_items bench) items, other19 $(count_items other19) (filled in $((SECONDS - fill_start)) s)"
  if [ "$store" = sqlite ]; then
    total="$(sqlite3 "$data/ambervale.db" "SELECT COUNT(*), MAX(id) FROM history")"
  else
    total="$("$pgbin/psql" -XAt -d "$benchuri" -c "SELECT COUNT(*), MAX(id) FROM history")"
  fi
  top="${total#*|}"
  echo "$store: the history table holds ${total%|*} items, ids up to $top"

  start_instance "$data" "$port"
  history_body="a=history&s=bench&pass=$digest&session=$session"
  account_body="a=useraccount&ref=&s=bench&pass=$digest&session=$session"
  run_wrk "$store: useraccount, 200 connections" 200 "$here/useraccount.lua" "$port" AMBERVALE_BENCH_BODY="$account_body"
  run_wrk "$store: history newest page, 200 connections" 200 "$here/history.lua" "$port" \
    AMBERVALE_BENCH_BODY="$history_body"
  run_wrk "$store: history random pages, 200 connections" 200 "$here/history.lua" "$port" \
    AMBERVALE_BENCH_BODY="$history_body" AMBERVALE_BENCH_DEEP=1 AMBERVALE_BENCH_TOP="$top"
  run_wrk "$store: history newest page, 4 connections" 4 "$here/history.lua" "$port" \
    AMBERVALE_BENCH_BODY="$history_body"
  run_wrk "$store: history random pages, 4 connections" 4 "$here/history.lua" "$port" \
    AMBERVALE_BENCH_BODY="$history_body" AMBERVALE_BENCH_DEEP=1 AMBERVALE_BENCH_TOP="$top"
  stop_instances
  # The page's statement alone: its plan (an index, not a scan) and its time.
  if [ "$store" = sqlite ]; then
    id="$(sqlite3 "$data/ambervale.db" "SELECT id FROM accounts WHERE login = 'bench'")"
    sqlite3 "$data/ambervale.db" "EXPLAIN QUERY PLAN SELECT id, coin, kind, at, amount, fee, status, detail, ref FROM history
      WHERE account_id = $id AND id < $((top / 2)) ORDER BY id DESC LIMIT 51" | sed 's/^/  plan: /'
  else
    id="$("$pgbin/psql" -XAt -d "$benchuri" -c "SELECT id FROM accounts WHERE login = 'bench'")"
    "$pgbin/psql" -XAt -d "$benchuri" -c "EXPLAIN ANALYZE SELECT id, coin, kind, at, amount, fee, status, detail, ref
      FROM history WHERE account_id = $id AND id < $((top / 2)) ORDER BY id DESC LIMIT 51" | sed 's/^/  plan: /'
  fi
  "$service" verify --data "$data" "${store_args[@]}" | tail -1
done
{ grep -v -E "^$|listening|stopping|stopped" "$work/service.err" || true; } | sort | uniq -c | head -5
