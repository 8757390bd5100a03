#!/usr/bin/env bash
# Live CPU cost of two builds of the program, as a user would meet it: a window of the given
# size on a private Xvfb with a window manager (openbox) and software OpenGL, recording the
# built-in test signal, first shown and then minimised. The two binaries take turns (A, B,
# A, B ...) so that both see the same machine; each turn reports CPU seconds per wall second
# of the program (all its threads, Mesa's included) and of the X server, and the drawn frame
# rate. Needs xvfb-run, openbox and xdotool.
#
#   bench/live_cpu.sh WIDTHxHEIGHT BINARY_A BINARY_B [SECONDS [ROUNDS]] [-- PROGRAM OPTIONS]
#   e.g. bench/live_cpu.sh 1280x800 /tmp/old/bandscope build/release/src/app/bandscope 10 3
set -euo pipefail
usage() { sed -n '8,9p' "$0" | sed 's/^# *//' >&2; exit 2; }
[[ $# -ge 3 && "$1" =~ ^([0-9]+)x([0-9]+)$ ]] || usage
width="${BASH_REMATCH[1]}" height="${BASH_REMATCH[2]}"
binaries=("$2" "$3")
shift 3
seconds=10 rounds=2
[[ $# -gt 0 && "$1" != "--" ]] && { seconds="$1"; shift; }
[[ $# -gt 0 && "$1" != "--" ]] && { rounds="$1"; shift; }
[[ $# -gt 0 && "$1" == "--" ]] && shift
options=("$@")
for b in "${binaries[@]}"; do [[ -x "$b" ]] || { echo "no program at $b" >&2; exit 2; }; done
for tool in xvfb-run openbox xdotool; do
  command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 2; }
done

if [[ -z "${BANDSCOPE_LIVE_CPU_INNER:-}" ]]; then  # again inside a private X server
  export BANDSCOPE_LIVE_CPU_INNER=1
  exec xvfb-run -a -s "-screen 0 $((width + 200))x$((height + 200))x24 -nolisten tcp" \
    "$0" "${width}x${height}" "${binaries[@]}" "$seconds" "$rounds" -- "${options[@]}"
fi

work="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
openbox >/dev/null 2>&1 &
sleep 1
xserver="$(pgrep -n -x Xvfb)"
ticks="$(getconf CLK_TCK)"

# CPU ticks (user + system) of a process so far.
cpu() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
now() { date +%s.%N; }

# measure PID LABEL: CPU per wall second of the program and of the X server, and frames a
# second from the program's --stats lines in $work/stats.
measure() {
  local pid="$1" label="$2" c0 x0 t0 f0 c1 x1 t1 f1
  c0=$(cpu "$pid") x0=$(cpu "$xserver") t0=$(now) f0=$(frames)
  sleep "$seconds"
  c1=$(cpu "$pid") x1=$(cpu "$xserver") t1=$(now) f1=$(frames)
  awk -v l="$label" -v c=$((c1 - c0)) -v x=$((x1 - x0)) -v t0="$t0" -v t1="$t1" \
    -v f=$((f0 < 0 ? -1 : f1 - f0)) \
    -v hz="$ticks" 'BEGIN { w = t1 - t0
      fps = f < 0 ? "    -" : sprintf("%6.1f", f / w)
      printf "%-28s program %6.3f  X server %6.3f CPU s per wall s  %s fps\n", l, c / hz / w, x / hz / w, fps }'
}
# Frames drawn so far, from the last --stats line; -1 from a build that does not count them.
frames() { tail -n 1 "$work/stats" 2>/dev/null | sed -n 's/.*frames=\([0-9]*\).*/\1/p' | grep . || echo -1; }

echo "live CPU at ${width}x${height}, software GL, ${seconds} s a measurement, options: ${options[*]:-none (the test signal)}"
for ((round = 1; round <= rounds; round++)); do
  for which in 0 1; do
    binary="${binaries[$which]}"
    name="$([[ $which == 0 ]] && echo A || echo B)"
    : >"$work/stats"
    env QT_QPA_PLATFORM=xcb LIBGL_ALWAYS_SOFTWARE=1 PULSE_SERVER=unix:/nonexistent/bandscope \
      XDG_CONFIG_HOME="$work/config" "$binary" --no-settings --stats "${options[@]}" \
      >"$work/stats" 2>"$work/errors" &
    pid=$!
    window="$(xdotool search --sync --onlyvisible --pid "$pid" | head -n 1)"
    xdotool windowsize --sync "$window" "$width" "$height"
    sleep 2  # settled at its size
    measure "$pid" "round $round $name shown"
    xdotool windowminimize --sync "$window"
    sleep 1
    measure "$pid" "round $round $name minimised"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
  done
done
echo "A: ${binaries[0]}"
echo "B: ${binaries[1]}"
