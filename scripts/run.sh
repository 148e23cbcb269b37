#!/usr/bin/env bash
# Installs what is missing, builds the service and the client, starts the
# service in the background (once) with a demo account, and starts the client
# against it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build="${AMBERVALE_BUILD_DIR:-build}"
data="${AMBERVALE_DATA:-${XDG_DATA_HOME:-$HOME/.local/share}/ambervale-service}"
port=8443
service="$build/bin/ambervale-service"

# The service first: its data folder holds the CA the client is built to trust.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target ambervale-service -j"$(nproc)"
ca="$("$service" init --data "$data" --host 127.0.0.1)"
cmake -S . -B "$build" -DAMBERVALE_EXTRA_CA_FILE="$ca" -DAMBERVALE_SERVICE_HOST="127.0.0.1:$port" >/dev/null
# Only the client and what it loads at run time (its web-engine plugin, its
# guide page): the test programs are for scripts/test.sh.
client_targets=(ambervale ambervale_guide)
if cmake --build "$build" --target help 2>/dev/null | grep -qw ambervale_webengine; then
  client_targets+=(ambervale_webengine)
fi
cmake --build "$build" --target "${client_targets[@]}" -j"$(nproc)"

# A demo account with some balances, made once per data folder.
if [ ! -f "$data/demo-account.txt" ]; then
  password="demo-$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')"
  "$service" add-account demo "$password" --data "$data" >/dev/null
  for deposit in "btc 0.05" "eth 0.8" "usdt 250" "doge 1500" "trx 1000"; do
    # shellcheck disable=SC2086
    "$service" credit demo $deposit --data "$data" >/dev/null
  done
  printf 'login=demo\npassword=%s\n' "$password" >"$data/demo-account.txt"
  chmod 600 "$data/demo-account.txt"
fi

running=""
if [ -f "$data/service.pid" ] && kill -0 "$(cat "$data/service.pid")" 2>/dev/null &&
  grep -q ambervale-service "/proc/$(cat "$data/service.pid")/cmdline" 2>/dev/null; then
  running=yes
fi
if [ -z "$running" ]; then
  # Reachable from this machine only: the demo account's password is printed below.
  nohup setsid "$service" --data "$data" --port "$port" --host 127.0.0.1 --bind 127.0.0.1 \
    >>"$data/service.log" 2>&1 </dev/null &
  echo $! >"$data/service.pid"
  for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
  done
  echo "Ambervale service started: https://127.0.0.1:$port/ (data in $data, log in $data/service.log)"
else
  echo "Ambervale service already running (pid $(cat "$data/service.pid"), data in $data)"
fi
echo "Demo account: $(sed -n 's/^login=//p' "$data/demo-account.txt"), password $(sed -n 's/^password=//p' "$data/demo-account.txt")"
echo "Stop the service with: kill \$(cat '$data/service.pid')"

# The web engine refuses to run as root with its sandbox on and would end the
# client (the client also sees to this itself).
if [ "$(id -u)" = 0 ] && [ -z "${QTWEBENGINE_DISABLE_SANDBOX:-}" ]; then
  export QTWEBENGINE_DISABLE_SANDBOX=1
fi

# The client finds its guide page in html/ of its working folder.
cd "$build/bin"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting the client under a virtual X server." >&2
  exec xvfb-run -a ./ambervale
fi
exec ./ambervale
