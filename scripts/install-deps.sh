#!/usr/bin/env bash
# Installs what building, running and testing the client needs (Debian 12).
# Does nothing when everything is already there.
set -euo pipefail
packages=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-webengine-dev qt6-charts-dev libgl-dev
  libgtest-dev libzxing-dev libqrencode-dev libbenchmark-dev
  openssl xvfb xauth time fonts-dejavu-core fonts-noto-color-emoji
  # the service
  libboost-dev libboost-system-dev libssl-dev libsqlite3-dev sqlite3 nlohmann-json3-dev libsodium-dev libpqxx-dev
  # withdrawal addresses: Keccak-256
  libcrypto++-dev
  # reset codes by e-mail (libcurl's SMTP) and the local SMTP sink of its test
  libcurl4-openssl-dev python3-aiosmtpd
  # a throw-away database cluster for the tests and the bench (scripts/pg-cluster.sh)
  postgresql-15
  # the load balancer in front of several service instances (the cluster test, the bench), the bench's load
  haproxy wrk
  # the accessibility test reads the client through the real AT-SPI bus under a window manager
  at-spi2-core python3-pyatspi gir1.2-atspi-2.0 dbus-daemon dbus-bin openbox imagemagick xdotool
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
