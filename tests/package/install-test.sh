#!/usr/bin/env bash
# Installs the packages ambervale and ambervale-service into a fresh Debian 12
# root (debootstrap; their dependencies, without recommended packages, from
# Debian's mirror), starts the installed service the way its systemd unit does
# (its ExecStart line, as its user) and the installed client headless as an
# ordinary user with a remembered login, and passes when the service's access
# log shows the client's settings request answered, its automatic login
# answered, and the dashboard's first refresh (which runs only once the client
# has taken the login reply). Then purges both and checks what is left.
#
#   tests/package/install-test.sh [DEB_DIR]
# DEB_DIR holds both .deb files; without it scripts/package.sh builds them.
# Skips (exit 0, "SKIPPED: ...") without root, debootstrap or the mirror.
# Every mount lives in a private mount namespace of its own step, so none can
# outlive the test; the root folder is removed on any exit.
set -euo pipefail
cd "$(dirname "$0")/../.."

skip() {
  echo "SKIPPED: package install test: $*"
  exit 0
}
started=$(date +%s)
mirror="${AMBERVALE_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
cache="${AMBERVALE_INSTALL_TEST_CACHE:-/var/cache/ambervale-install-test}"

[ "$(id -u)" -eq 0 ] || skip "needs root (debootstrap, chroot, namespaces)"
if ! command -v debootstrap >/dev/null || ! command -v unshare >/dev/null || ! command -v ip >/dev/null; then
  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    debootstrap util-linux iproute2; } >/dev/null 2>&1 || skip "debootstrap cannot be installed"
fi
host="$(echo "$mirror" | sed -E 's#^[a-z]+://([^/:]+).*#\1#')"
timeout 20 bash -c "exec 3<>/dev/tcp/$host/80" 2>/dev/null || skip "no network to $mirror"
unshare --mount --pid --fork true 2>/dev/null || skip "no mount and pid namespaces here"

debs="${1:-}"
if [ -z "$debs" ]; then
  debs=build-pkg/debs
  scripts/package.sh "$debs"
fi
debs="$(realpath "$debs")"
client_deb="$(ls "$debs"/ambervale_*.deb)"
service_deb="$(ls "$debs"/ambervale-service_*.deb)"

work="$(mktemp -d /var/tmp/ambervale-install-test.XXXXXX)"
root="$work/root"
mkdir -m 755 "$root" # the root folder of the system inside: every user must reach its files
cleanup() {
  local rc=$?
  # Nothing is mounted outside the steps' namespaces; should anything be, it is
  # unmounted, and nothing is deleted through a mount.
  local mounted
  for mounted in $(findmnt -rn -o TARGET | grep "^$work/" | sort -r || true); do
    umount -l "$mounted" || true
  done
  if findmnt -rn -o TARGET | grep -q "^$work/"; then
    echo "install test: mounts left below $work, not removing it" >&2
  else
    rm -rf --one-file-system "$work"
  fi
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Runs a command in the root in new mount and pid namespaces: /proc and /dev are
# mounted there only, the apt cache is shared between runs, and every process
# the command leaves behind ends with it. --net: also a network namespace with
# only the loopback interface (the service's port cannot clash with the host's).
in_root() {
  local net=() newnet=""
  if [ "$1" = --net ]; then
    net=(--net)
    newnet=1
    shift
  fi
  # shellcheck disable=SC2016 # expanded by the inner shell
  unshare --mount --pid --fork --kill-child "${net[@]}" /bin/bash -c '
    set -e
    root=$1 cache=$2 newnet=$3
    shift 3
    mount --make-rprivate /
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    mkdir -p "$cache/archives/partial"
    mount --bind "$cache/archives" "$root/var/cache/apt/archives"
    if [ -n "$newnet" ]; then ip link set lo up; fi
    exec chroot "$root" "$@"' in_root "$root" "$cache" "$newnet" "$@"
}

echo "== debootstrap bookworm (minbase) into $root"
mkdir -p "$cache/debootstrap"
# In a mount namespace of its own too: the mounts it makes inside the root cannot outlive it.
unshare --mount --propagation private debootstrap --variant=minbase --cache-dir="$cache/debootstrap" \
  bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1 || {
  tail -20 "$work/debootstrap.log"
  exit 1
}
cp /etc/resolv.conf "$root/etc/resolv.conf"
security="${mirror%/debian}/debian-security"
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb $security bookworm-security main
EOF
mkdir -p "$root/tmp/debs"
cp "$client_deb" "$service_deb" "$root/tmp/debs/"

echo "== apt-get install the two packages and their dependencies"
in_root /bin/sh -c '
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq &&
  apt-get install -y -qq --no-install-recommends /tmp/debs/*.deb' >"$root/tmp/apt.log" 2>&1 || {
  tail -40 "$root/tmp/apt.log"
  exit 1
}
grep -iE "^(W|E):" "$root/tmp/apt.log" | grep -v "Download is performed unsandboxed" || true

# What the packages themselves must have done, checked from outside.
for path in usr/bin/ambervale usr/sbin/ambervale-service usr/share/ambervale/html/index.html \
  etc/ambervale-service/config.json etc/ambervale-service/ca.crt var/lib/ambervale-service/ambervale.db \
  usr/share/applications/ambervale.desktop usr/share/icons/hicolor/scalable/apps/ambervale.svg; do
  [ -e "$root/$path" ] || {
    echo "FAIL: /$path missing after install" >&2
    exit 1
  }
done
ls "$root"/usr/lib/*/ambervale/libambervale_webengine.so >/dev/null
grep -qx "ambervale-service/ambervale-service-ca.crt" "$root/etc/ca-certificates.conf" || {
  echo "FAIL: the service's CA is not in /etc/ca-certificates.conf" >&2
  exit 1
}
cmp -s "$root/etc/ambervale-service/ca.crt" "$root/var/lib/ambervale-service/ca.pem" || {
  echo "FAIL: /etc/ambervale-service/ca.crt is not the service's CA" >&2
  exit 1
}
ca_line="$(sed -n 2p "$root/etc/ambervale-service/ca.crt")"
grep -qF "$ca_line" "$root/etc/ssl/certs/ca-certificates.crt" || {
  echo "FAIL: the service's CA is not in the system bundle" >&2
  exit 1
}

# The run: service as its unit starts it, then the client, in one namespace.
cat >"$root/tmp/run.sh" <<'EOF'
#!/bin/bash
set -euo pipefail
unit=/usr/lib/systemd/system/ambervale-service.service
user=$(sed -n 's/^User=//p' "$unit")
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
log=/var/lib/ambervale-service/access.log
as_service() { setpriv --reuid="$user" --regid="$user" --init-groups -- "$@"; }

password=demo-$RANDOM$RANDOM
as_service ambervale-service add-account demo "$password" --data /var/lib/ambervale-service \
  --config /etc/ambervale-service/config.json >/dev/null
# Not through as_service: $! must be the service itself, not a shell running it.
# shellcheck disable=SC2086 # the unit's command line, split as systemd splits it (no quoting in it)
setpriv --reuid="$user" --regid="$user" --init-groups -- $exec_start >/tmp/service.out 2>&1 &
service=$!
for _ in $(seq 300); do
  (exec 3<>/dev/tcp/127.0.0.1/8443) 2>/dev/null && break
  kill -0 "$service" 2>/dev/null || { echo "FAIL: the service ended:"; cat /tmp/service.out; exit 1; }
  sleep 0.1
done

# An ordinary user whose documents folder remembers the demo login, so the
# login window logs in by itself once the settings reply is in.
useradd -m tester
home=/home/tester
mkdir -p "$home/Documents"
digest=$(printf %s "$password" | md5sum | cut -d' ' -f1 | tr a-f A-F)
printf '{"login":"demo","pass":"%s"}\r\n' "$digest" >"$home/Documents/jsini.iz"
chmod 600 "$home/Documents/jsini.iz"
mkdir -p -m 700 /tmp/runtime-tester
chown -R tester:tester "$home" /tmp/runtime-tester
cd "$home"
setpriv --reuid=tester --regid=tester --init-groups -- env -i HOME="$home" USER=tester PATH=/usr/bin:/bin \
  XDG_RUNTIME_DIR=/tmp/runtime-tester QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 \
  ambervale >/tmp/client.out 2>&1 &
client=$!

# Answered requests in the access log (one JSON object per line, keys sorted).
settings() { grep -F '"action":"all_json_setting"' "$log" 2>/dev/null | grep -cF '"status":200' || true; }
account() { grep -F '"action":"useraccount"' "$log" 2>/dev/null | grep -F '"login":"demo"' | grep -cF '"status":200' || true; }
# The settings request, the automatic login and the dashboard's 20-second refresh.
for _ in $(seq 1800); do
  [ "$(settings)" -ge 1 ] && [ "$(account)" -ge 2 ] && break
  kill -0 "$client" 2>/dev/null || { echo "FAIL: the client ended:"; cat /tmp/client.out; break; }
  sleep 0.1
done
echo "-- access log"
cat "$log"
ok=yes
[ "$(settings)" -ge 1 ] || { echo "FAIL: no answered settings request from the client"; ok=; }
[ "$(account)" -ge 1 ] || { echo "FAIL: no answered automatic login"; ok=; }
[ "$(account)" -ge 2 ] || { echo "FAIL: no dashboard refresh after the login"; ok=; }
kill -0 "$client" 2>/dev/null || { echo "FAIL: the client is no longer running"; ok=; }
if [ -z "$ok" ]; then
  echo "-- client output"; cat /tmp/client.out
  echo "-- service output"; cat /tmp/service.out
  exit 1
fi
# Stopped as systemd stops it: SIGTERM, and a clean exit.
kill "$client"
kill -TERM "$service"
rc=0
wait "$service" || rc=$?
if [ "$rc" -ne 0 ]; then
  echo "FAIL: the service did not stop cleanly on SIGTERM (exit status $rc):"
  cat /tmp/service.out
  exit 1
fi
as_service ambervale-service verify --data /var/lib/ambervale-service --config /etc/ambervale-service/config.json
echo "the installed client found the installed service"
EOF
chmod 755 "$root/tmp/run.sh"

echo "== start the installed service and client"
in_root --net /tmp/run.sh

echo "== purge"
in_root /bin/sh -c 'DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq ambervale ambervale-service' \
  >"$root/tmp/purge.log" 2>&1 || {
  tail -20 "$root/tmp/purge.log"
  exit 1
}
for path in var/lib/ambervale-service etc/ambervale-service usr/share/ca-certificates/ambervale-service; do
  [ ! -e "$root/$path" ] || {
    echo "FAIL: /$path left after purge" >&2
    exit 1
  }
done
if grep -q ambervale "$root/etc/ca-certificates.conf"; then
  echo "FAIL: the CA is still listed in /etc/ca-certificates.conf after purge" >&2
  exit 1
fi
if grep -qF "$ca_line" "$root/etc/ssl/certs/ca-certificates.crt"; then
  echo "FAIL: the CA is still in the system bundle after purge" >&2
  exit 1
fi
echo "PASSED: package install test in $(($(date +%s) - started)) s"
