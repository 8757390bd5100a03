#!/usr/bin/env bash
# Soak: the real program records live from a private PulseAudio daemon (a sine played into a
# null sink, recorded from its monitor) under a private Xvfb for MINUTES; the daemon is killed
# and started again every few minutes. Samples
# the program's RSS and CPU every 10 s and its capture figures (--stats) every second, then
# prints RSS growth after warm-up, blocks lost outside the outages (44100 / 512 expected a
# second) and the recoveries.
# Usage: bench/soak.sh MINUTES [BINARY]   (default: build/release's)
set -euo pipefail
minutes="${1:?usage: bench/soak.sh MINUTES [BINARY]}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
binary="${2:-$root/build/release/src/app/bandscope}"
[[ -x "$binary" ]] || { echo "no program at $binary (build it first)" >&2; exit 2; }
for tool in pulseaudio pactl xvfb-run; do
  command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 2; }
done

dir="$(mktemp -d)"
daemon=""
program=""
cleanup() {
  [[ -n "$program" ]] && kill "$program" 2>/dev/null || true
  [[ -n "$daemon" ]] && kill -9 "$daemon" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
mkdir -p "$dir/pulse"
export HOME="$dir" XDG_RUNTIME_DIR="$dir" PULSE_RUNTIME_PATH="$dir/pulse"
export PULSE_SERVER="unix:$dir/pulse/native"
cat >"$dir/default.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/pulse/native
load-module module-null-sink sink_name=soak_null
load-module module-sine sink=soak_null frequency=1000
set-default-source soak_null.monitor
PA

start_daemon() {
  pulseaudio -n -F "$dir/default.pa" --daemonize=no --exit-idle-time=-1 --disable-shm=yes \
    --use-pid-file=no --log-target=file:"$dir/daemon.log" </dev/null >/dev/null 2>&1 &
  daemon=$!
  for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl info >/dev/null 2>&1 || { echo "the daemon did not start" >&2; exit 1; }
  # A null sink renders in 2-second blocks unless a client asks for short ones: this one does,
  # so the monitor delivers small blocks as a sound card would.
  parec --latency-msec=10 -d soak_null.monitor >/dev/null 2>&1 </dev/null &
}

# Seconds on the monotonic clock, as the program's --stats lines count them (in µs).
now() { awk '{ print $1 }' /proc/uptime; }
start_daemon
xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
  env QT_QPA_PLATFORM=xcb LIBGL_ALWAYS_SOFTWARE=1 "$binary" --stats >"$dir/stats" 2>"$dir/errors" &
runner=$!
for _ in $(seq 100); do
  program="$(pgrep -n -f "^$binary --stats" || true)"
  [[ -n "$program" ]] && break
  sleep 0.1
done
[[ -n "$program" ]] || { echo "the program did not start" >&2; exit 1; }

ticks=$(getconf CLK_TCK)
: >"$dir/samples"
sample() {  # time rss_kib cpu_seconds
  local rss cpu
  rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$program/status")
  cpu=$(awk -v t="$ticks" '{ printf "%.2f", ($14 + $15) / t }' "/proc/$program/stat")
  echo "$(now) $rss $cpu" >>"$dir/samples"
}

t0=$(now)
end=$(awk -v a="$t0" -v m="$minutes" 'BEGIN { printf "%.3f", a + 60 * m }')
period=180                           # a server restart every 3 minutes
next_kill=$(awk -v a="$t0" -v p="$period" 'BEGIN { printf "%.3f", a + p }')
: >"$dir/outages"                    # kill_time restart_time
next_sample=$t0
while awk -v n="$(now)" -v e="$end" 'BEGIN { exit !(n < e) }'; do
  kill -0 "$program" 2>/dev/null || { echo "the program ended: $(tail -3 "$dir/errors")"; break; }
  if awk -v n="$(now)" -v s="$next_sample" 'BEGIN { exit !(n >= s) }'; then
    sample
    next_sample=$(awk -v s="$next_sample" 'BEGIN { printf "%.3f", s + 10 }')
  fi
  if awk -v n="$(now)" -v k="$next_kill" 'BEGIN { exit !(n >= k) }'; then
    killed=$(now)
    kill -9 "$daemon"; wait "$daemon" 2>/dev/null || true
    sleep 2
    start_daemon
    echo "$killed $(now)" >>"$dir/outages"
    next_kill=$(awk -v k="$next_kill" -v p="$period" 'BEGIN { printf "%.3f", k + p }')
  fi
  sleep 0.5
done
alive=1; kill -0 "$program" 2>/dev/null || alive=0
sleep 1
kill "$program" 2>/dev/null || true
wait "$runner" 2>/dev/null || true

# stats lines: "stats us=U blocks=B recording=R frames=F", U on the program's monotonic clock.
awk -v warm=60 '
  FILENAME == ARGV[1] { n++; t[n] = $1; rss[n] = $2; next }
  FILENAME == ARGV[2] { k++; kill[k] = $1; back[k] = $2; next }
  { split($2, u, "="); split($3, b, "="); split($4, r, "=");
    m++; su[m] = u[2] / 1e6; sb[m] = b[2]; sr[m] = r[2] }
  END {
    first = 0
    for (i = 1; i <= n; i++) if (t[i] - t[1] >= warm) { first = i; break }
    if (first) printf "RSS after %d s warm-up: %d KiB, at the end %d KiB: growth %+d KiB\n", warm, rss[first], rss[n], rss[n] - rss[first]
    # Blocks are counted over seconds whose two neighbours before them also found the
    # recorder open, and that do not overlap an outage (from the kill until 3 s after the
    # restart): the outages, the seconds around them and the start-up are left out.
    expected = 0; got = 0
    for (i = 6; i <= m; i++) if (sr[i] && sr[i - 1] && sr[i - 2]) {
      during = 0
      for (j = 1; j <= k; j++) if (su[i] >= kill[j] && su[i - 1] <= back[j] + 3) during = 1
      if (during) continue
      expected += (su[i] - su[i - 1]) * 44100 / 512; got += sb[i] - sb[i - 1]
    }
    if (expected > 0) printf "blocks outside the outages: %d of %.0f expected (%.2f %% lost)\n", got, expected, 100 * (expected - got) / expected
  }' "$dir/samples" "$dir/outages" "$dir/stats"

# A recovery: after an outage's restart, the recorder is open again within 3 s.
outages=$(wc -l <"$dir/outages")
if [[ "$outages" -gt 0 ]]; then
  awk '
    FILENAME == ARGV[1] { k++; kill[k] = $1; back[k] = $2; next }
    { split($2, u, "="); split($4, r, "="); j++; at[j] = u[2] / 1e6; rec[j] = r[2] }
    END {
      ok = 0
      for (i = 1; i <= k; i++) {
        down = 0; up = -1
        for (x = 1; x <= j; x++) {
          w = at[x]
          if (w >= kill[i] && !rec[x]) down = 1
          if (down && w >= back[i] && rec[x]) { up = w - back[i]; break }
        }
        if (up >= 0 && up <= 3.5) ok++
        printf "outage %d: recording again %s\n", i, (up >= 0 ? sprintf("%.1f s after the restart", up) : "never")
      }
      printf "recoveries: %d of %d within 3 s\n", ok, k
    }' "$dir/outages" "$dir/stats"
fi
cpu_total=$(tail -1 "$dir/samples" | awk '{ print $3 }')
echo "CPU: ${cpu_total} s over ${minutes} min; program still running at the end: $alive"
grep -c -i -E "runtime error|AddressSanitizer|Segmentation" "$dir/errors" | sed 's/^/sanitizer or crash lines on stderr: /'
