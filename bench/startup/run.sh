#!/usr/bin/env bash
# Start-up comparison, run from an existing build (builds nothing):
#   bench/startup/run.sh <build-dir> [runs per program, default 10]
# Times whole processes from launch to exit at the first paint of their first
# window (startup_client = the program's own start-up, startup_bare = a plain
# Qt Widgets login form: two labels, two edits, two buttons), alternating the
# two, offscreen and under Xvfb when available.
# Reports medians of wall time and peak RSS, and client/bare ratios.
set -euo pipefail

build=${1:?usage: run.sh <build-dir> [runs]}
runs=${2:-10}
bin=$(cd "$build/bin" && pwd)
client=$bin/startup_client
bare=$bin/startup_bare
for p in "$client" "$bare"; do
  [[ -x $p ]] || { echo "missing $p: build the startup_client and startup_bare targets" >&2; exit 1; }
done
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time is needed (package 'time')" >&2; exit 1; }

# The stand-in must load what the program loads; a different library set would make the figures meaningless.
if [[ ${3:-} != --in-xvfb && -x $bin/ambervale ]] && command -v ldd >/dev/null; then
  libs() { ldd "$1" | awk '{print $1}' | sort; }
  if ! diff <(libs "$bin/ambervale") <(libs "$client") >/dev/null; then
    echo "warning: startup_client and ambervale link different libraries:" >&2
    diff <(libs "$bin/ambervale") <(libs "$client") >&2 || true
  fi
fi

export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
chmod 700 "$XDG_RUNTIME_DIR"
export QT_LOGGING_RULES="qt.*.debug=false"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# One run: appends "wall_ms peak_kb cpu_ms" to $tmp/<name>.
run_once() {
  local prog=$1 name=$2 t0 t1 out peak cpu
  t0=$EPOCHREALTIME
  out=$(/usr/bin/time -f "%M" -o "$tmp/time" "$prog" 2>"$tmp/stderr") || {
    echo "$name failed:" >&2; cat "$tmp/stderr" >&2; exit 1; }
  t1=$EPOCHREALTIME
  [[ $out == main_to_paint_ms=* ]] || { echo "$name did not reach its first paint: $out" >&2; cat "$tmp/stderr" >&2; exit 1; }
  peak=$(tail -n 1 "$tmp/time")
  cpu=${out#*cpu_ms=}; cpu=${cpu%% *}
  awk -v a="$t0" -v b="$t1" -v p="$peak" -v c="$cpu" 'BEGIN { printf "%.2f %d %.2f\n", (b - a) * 1000, p, c }' >>"$tmp/$name"
}

median() { # column of file
  sort -n -k"$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

compare() { # label
  local label=$1
  rm -f "$tmp/client" "$tmp/bare"
  # Warm the page cache and font cache once; the timed runs are warm starts of both programs alike.
  run_once "$client" warm; run_once "$bare" warm
  for ((i = 0; i < runs; ++i)); do
    if ((i % 2)); then run_once "$bare" bare; run_once "$client" client
    else run_once "$client" client; run_once "$bare" bare; fi
  done
  local ct cm cc bt bm bc
  ct=$(median "$tmp/client" 1); cm=$(median "$tmp/client" 2); cc=$(median "$tmp/client" 3)
  bt=$(median "$tmp/bare" 1); bm=$(median "$tmp/bare" 2); bc=$(median "$tmp/bare" 3)
  awk -v l="$label" -v n="$runs" -v ct="$ct" -v cm="$cm" -v cc="$cc" -v bt="$bt" -v bm="$bm" -v bc="$bc" 'BEGIN {
    printf "%-9s runs=%d  client %7.1f ms %6.1f MB (cpu %5.1f ms) | bare %7.1f ms %6.1f MB (cpu %5.1f ms)\n", l, n, ct, cm / 1024, cc, bt, bm / 1024, bc
    printf "%-9s ratios client/bare: wall time %.2fx  peak RSS %.2fx  (cpu time %.2fx)\n", "", ct / bt, cm / bm, cc / bc
    printf "%-9s goal cpu <= 1.25x: %s   peak RSS <= 1.25x: %s\n", "", (cc / bc <= 1.25 ? "met" : "MISSED"), (cm / bm <= 1.25 ? "met" : "MISSED") }'
}

if [[ ${3:-} == --in-xvfb ]]; then
  compare Xvfb
  # Reference: the bare window with X11's GL integration switched off altogether.
  rm -f "$tmp/nogl"
  for ((i = 0; i < runs; ++i)); do QT_XCB_GL_INTEGRATION=none run_once "$bare" nogl; done
  awk -v t="$(median "$tmp/nogl" 1)" -v m="$(median "$tmp/nogl" 2)" 'BEGIN {
    printf "          reference: bare without X11 GL integration %7.1f ms %7.1f MB\n", t, m / 1024 }'
  exit 0
fi

echo "medians: wall time from launch to exit at first paint, peak RSS, CPU time of the process; $(nproc) CPUs, load $(cut -d' ' -f1-3 /proc/loadavg)"
QT_QPA_PLATFORM=offscreen compare offscreen

if command -v xvfb-run >/dev/null; then
  # One X server for all runs; no window manager, no session bus autolaunch.
  env -u QT_QPA_PLATFORM DBUS_SESSION_BUS_ADDRESS=disabled: \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build" "$runs" --in-xvfb
else
  echo "Xvfb      skipped: xvfb-run not installed (packages xvfb, xauth)"
fi
