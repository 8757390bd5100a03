#!/usr/bin/env bash
# Builds the file device's libFuzzer target with clang and fuzzes it in one job:
#   bash scripts/fuzz.sh [SECONDS [WORK]]
# SECONDS (default 600; 0: only run the corpus once). WORK (default /tmp/bandscope-fuzz) holds
# the build, the seed corpus, the corpus the fuzzer grows, crash artefacts and the log, all
# outside the repository. Keep a finding, once fixed, in tests/fuzz/regressions: the replay
# test runs it in every build.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
seconds="${1:-600}"
work="${2:-/tmp/bandscope-fuzz}"

bandscope_install_packages
echo "==> building the fuzz target in $work/build"
cmake -S "$bandscope_root/tests/fuzz" -B "$work/build" -G Ninja \
  -DCMAKE_CXX_COMPILER=clang++-16 >/dev/null
cmake --build "$work/build"
"$work/build/make_file_corpus" "$work/seeds"
mkdir -p "$work/corpus" "$work/artifacts"

# Inputs past 64 KiB add time, not paths; the limits of the target keep each run short.
options=(-timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 -max_len=65536
  -use_value_profile=1 -print_final_stats=1 "-artifact_prefix=$work/artifacts/")
if [ "$seconds" -eq 0 ]; then
  options+=(-runs=0)
else
  options+=("-max_total_time=$seconds")
fi
echo "==> fuzzing for ${seconds} s (0: the corpus once); log in $work/fuzz.log"
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$bandscope_root/tests/fuzz/lsan.supp" \
  "$work/build/file_load_fuzzer" "${options[@]}" "$work/corpus" \
  "$work/seeds/corpus" "$bandscope_root/tests/fuzz/regressions" >"$work/fuzz.log" 2>&1 || {
  tail -n 40 "$work/fuzz.log"
  exit 1
}
grep -E '^(#[0-9]+ *DONE|stat::)' "$work/fuzz.log" || tail -n 5 "$work/fuzz.log"
