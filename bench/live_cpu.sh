#!/usr/bin/env bash
# Live CPU cost of the real program on the built-in test signal, under a private Xvfb with
# software OpenGL: CPU seconds per wall second and drawn frames per second, uncapped
# (--max-fps 0) against the default pacing, measured in one run of this script.
#
# Each setting runs twice with different frame counts; the differences leave start-up and
# shut-down out. Usage: bench/live_cpu.sh [BINARY] [SECONDS]   (default: build/release's, 10)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
binary="${1:-$root/build/release/src/app/bandscope}"
seconds="${2:-10}"
[[ -x "$binary" ]] || { echo "no program at $binary (build it first)" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing" >&2; exit 2; }

# Runs the program for N frames; prints "wall user+system" in seconds.
run() {
  local frames="$1"; shift
  local TIMEFORMAT='%R %U %S' out
  out=$( { time xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
      env QT_QPA_PLATFORM=xcb LIBGL_ALWAYS_SOFTWARE=1 PULSE_SERVER=unix:/nonexistent/bandscope \
      "$binary" --frames "$frames" "$@" >/dev/null 2>&1; } 2>&1 )
  awk '{ printf "%s %.3f\n", $1, $2 + $3 }' <<<"$out"
}

# measure NAME FPS_GUESS ARGS...: prints one line and leaves "cpu fps" in $result.
measure() {
  local name="$1" guess="$2"; shift 2
  local short=$((guess)) long=$((guess * (seconds + 1)))
  read -r w1 c1 < <(run "$short" "$@")
  read -r w2 c2 < <(run "$long" "$@")
  result=$(awk -v w1="$w1" -v c1="$c1" -v w2="$w2" -v c2="$c2" -v n=$((long - short)) \
    'BEGIN { dw = w2 - w1; printf "%.3f %.1f", (c2 - c1) / dw, n / dw }')
  read -r cpu fps <<<"$result"
  printf '%-26s %6s CPU s per wall s   %6s fps drawn\n' "$name" "$cpu" "$fps"
}

echo "bandscope live on the test signal, software GL, $seconds s a setting: $binary"
measure "uncapped (--max-fps 0)" 200 --max-fps 0
uncapped_cpu=$cpu
measure "default pacing" 60
awk -v a="$cpu" -v b="$uncapped_cpu" 'BEGIN { printf "ratio default / uncapped CPU: %.2f\n", a / b }'
