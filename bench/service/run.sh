#!/usr/bin/env bash
# The service under wrk, 200 keep-alive TLS connections, beside nginx serving a
# reply of the same size with the same certificate; money operations beside
# the raw SQLite one-row transaction rate. Usage: bench/service/run.sh BUILD_DIR [SECONDS]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:?build directory}" && pwd)"
seconds="${2:-10}"
service="$build/bin/ambervale-service"
rate="$build/bench/service/sqlite_rate"
for tool in wrk nginx curl; do command -v "$tool" >/dev/null || { echo "needs $tool (scripts/install-deps.sh)"; exit 1; }; done

work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
sport="$(free_port)"
nport="$(free_port)"

"$service" init --data "$work/data" --host 127.0.0.1 >/dev/null
"$service" add-account bench bench-password --data "$work/data" >/dev/null
for c in "usdt 1000000" "doge 1000000" "btc 1"; do
  # shellcheck disable=SC2086
  "$service" credit bench $c --data "$work/data" >/dev/null
done
"$service" --data "$work/data" --port "$sport" --host 127.0.0.1 --bind 127.0.0.1 ${AMBERVALE_BENCH_SERVICE_ARGS:-} \
  2>"$work/service.err" &
pids+=($!)

digest="$(printf '%s' bench-password | md5sum | cut -c1-32 | tr a-f A-F)"
body="a=useraccount&ref=&s=bench&pass=$digest&session=0123456789ABCDEF0123456789ABCDEF"
for _ in $(seq 100); do
  curl -s --cacert "$work/data/ca.pem" "https://127.0.0.1:$sport/api.php" -d "a=all_json_setting&session=0123456789ABCDEF0123456789ABCDEF" >/dev/null && break
  sleep 0.1
done
reply="$(curl -s --cacert "$work/data/ca.pem" "https://127.0.0.1:$sport/api.php" -d "$body")"
size=${#reply}

# nginx: the same certificate, a fixed reply of the same size.
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
    ssl_certificate $work/data/server.pem;
    ssl_certificate_key $work/data/server.key;
    location / { default_type application/json; return 200 '$(cat "$work/nginx/reply.txt")'; }
  }
}
CONF
nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'daemon off;' &
pids+=($!)
sleep 0.5

run_wrk() { # name url script
  AMBERVALE_BENCH_BODY="$body" AMBERVALE_BENCH_LOGIN=bench AMBERVALE_BENCH_DIGEST="$digest" \
    wrk -t2 -c200 -d"${seconds}s" --latency -s "$3" "$2" >"$work/$1.txt" 2>&1 || true
  local rps p99
  rps="$(awk '/Requests\/sec/ {print $2}' "$work/$1.txt")"
  p99="$(awk '$1 == "99%" {print $2}' "$work/$1.txt")"
  printf '%-28s %10s req/s   p99 %s\n' "$1" "$rps" "$p99"
  grep -E "Non-2xx|Socket errors|non-2xx" "$work/$1.txt" || true
}

echo "reply size: $size bytes; 200 keep-alive TLS connections, ${seconds}s each, wrk -t2"
run_wrk "nginx (same size, same cert)" "https://127.0.0.1:$nport/api.php" "$here/useraccount.lua"
run_wrk "service useraccount" "https://127.0.0.1:$sport/api.php" "$here/useraccount.lua"
run_wrk "service swaps (money ops)" "https://127.0.0.1:$sport/api.php" "$here/money.lua"
sync=full
case "${AMBERVALE_BENCH_SERVICE_ARGS:-}" in *"--sync normal"*) sync=normal ;; esac
printf '%-28s %10s tx/s (synchronous=%s)\n' "raw SQLite one-row tx" "$("$rate" "$work/raw.db" "$sync" 5)" "$sync"
"$service" verify --data "$work/data" | tail -1
