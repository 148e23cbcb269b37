#!/usr/bin/env bash
# Builds the libFuzzer targets of the readers of server data (build-fuzz, clang)
# and runs each for SECONDS (default 60), or until RUNS inputs if given first.
#   scripts/fuzz.sh [SECONDS per target] [RUNS per target]
# SECONDS=0 runs each target once over its seed corpus only (a quick check).
# New inputs go to build-fuzz/corpus/<target>/ (seeded from tests/fuzz/corpus/),
# crashes to build-fuzz/findings/<target>/; the script fails on any finding.
# FUZZ_TARGETS="number_text swap_reply" picks targets.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
runs="${2:-}"
scripts/install-deps.sh
# clang and its libFuzzer runtime are needed here only.
if ! command -v clang++ >/dev/null || ! dpkg-query -W -f='${Status}' libclang-rt-dev 2>/dev/null | grep -q "ok installed"; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends clang libclang-rt-dev
fi

build=build-fuzz
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAMBERVALE_BUILD_FUZZ=ON \
  -DAMBERVALE_BUILD_SERVICE=OFF >/dev/null
cmake --build "$build" --target ambervale_fuzz_all -j"$(nproc)"

targets="${FUZZ_TARGETS:-number_text settings_reply account_reply swap_reply deposit_reply lottery_players lottery_winners address history_reply}"
export QT_QPA_PLATFORM=offscreen
# Leaks count as findings; the first undefined behaviour stops the run. A
# smaller quarantine and shorter allocation stacks make Qt's many small
# allocations cheaper without hiding a fault.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1:quarantine_size_mb=32:malloc_context_size=8"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
failed=0
printf '%-18s %12s %8s  %s\n' target executions seconds result >"$build/fuzz-summary.txt"
for t in $targets; do
  program="$build/fuzz/fuzz_$t"
  corpus="$build/corpus/$t"
  findings="$build/findings/$t"
  mkdir -p "$corpus" "$findings"
  cp -n tests/fuzz/corpus/"$t"/* "$corpus"/
  # The time-out is wall-clock: on a shared, busy machine an input can wait long for a core.
  max_len=4096
  [ "$t" = deposit_reply ] && max_len=512 # every input is encoded and drawn: keep them address-sized
  args=(-max_len=$max_len -timeout=300 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/")
  if [ "$seconds" = 0 ]; then
    args+=(-runs=0)
  else
    args+=(-max_total_time="$seconds")
    [ -n "$runs" ] && args+=(-runs="$runs")
  fi
  log="$build/fuzz-$t.log"
  start=$(date +%s)
  result=ok
  if ! "$program" "${args[@]}" "$corpus" >"$log" 2>&1; then
    result="FINDING (see $log and $findings/)"
    failed=1
  fi
  elapsed=$(($(date +%s) - start))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  printf '%-18s %12s %8s  %s\n' "$t" "${execs:-?}" "$elapsed" "$result" | tee -a "$build/fuzz-summary.txt"
done
cat "$build/fuzz-summary.txt"
exit $failed
