#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite headless.
#   scripts/test.sh             # build/, warnings are errors
#   scripts/test.sh --sanitize  # build-asan/: everything under AddressSanitizer + UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
sanitize=0
[ "${1:-}" = --sanitize ] && sanitize=1

# Runs a command beside a throw-away PostgreSQL cluster whose conninfo it finds in AMBERVALE_TEST_PG
# (the service tests then run on PostgreSQL as well as on SQLite). The cluster is stopped and removed
# however the command ends. A cluster already named in AMBERVALE_TEST_PG is used as it is.
with_pg_cluster() {
  if [ -n "${AMBERVALE_TEST_PG:-}" ]; then
    "$@"
    return
  fi
  local dir rc=0
  dir="$(mktemp -d)"
  # shellcheck disable=SC2064 # the folder is fixed now
  trap "scripts/pg-cluster.sh stop '$dir'" EXIT
  trap 'exit 130' INT TERM
  AMBERVALE_TEST_PG="$(scripts/pg-cluster.sh start "$dir")"
  export AMBERVALE_TEST_PG
  echo "PostgreSQL for the tests: $AMBERVALE_TEST_PG"
  "$@" || rc=$?
  unset AMBERVALE_TEST_PG
  scripts/pg-cluster.sh stop "$dir"
  trap - EXIT INT TERM
  return "$rc"
}

scripts/install-deps.sh
build=build
ctest_args=()
if [ "$sanitize" = 1 ]; then
  # The warnings are the plain build's business: gcc's extra analysis of instrumented code warns falsely.
  build=build-asan
  scripts/build.sh "$build" -DAMBERVALE_SANITIZE=ON
  source tests/sanitizers/environment.sh
else
  # Warnings fail the test build, so none creep in.
  scripts/build.sh "$build" -DAMBERVALE_WERROR=ON
fi
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
with_pg_cluster ctest --test-dir "$build" --output-on-failure -j2 --timeout 600 "${ctest_args[@]}"
