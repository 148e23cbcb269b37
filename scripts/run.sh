#!/usr/bin/env bash
# Installs what is missing, builds and starts the client.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting the client under a virtual X server." >&2
  exec xvfb-run -a build/bin/ambervale
fi
exec build/bin/ambervale
