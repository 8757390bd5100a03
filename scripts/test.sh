#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds bandscope and runs the whole test suite:
# the warnings-as-errors build, the AddressSanitizer + UndefinedBehaviorSanitizer build,
# the ThreadSanitizer build of the capture hand-off and live PulseAudio tests, and the
# libFuzzer build of the file input's fuzz target over its corpus.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$bandscope_root"

bandscope_install_packages

jobs="$(nproc)"
bandscope_build ci
bandscope_build asan
bandscope_build tsan handoff_tests pulse_tests  # ThreadSanitizer: the hand-off, live PulseAudio

echo "==> tests (warnings-as-errors build)"
ctest --preset ci -j "$jobs"
echo "==> tests (AddressSanitizer + UndefinedBehaviorSanitizer)"
ctest --preset asan -j "$jobs"
echo "==> capture hand-off and live PulseAudio tests (ThreadSanitizer)"
ctest --preset tsan -j "$jobs"
if command -v clang++-16 >/dev/null; then
  echo "==> file input fuzz target (libFuzzer, clang 16) over its corpus"
  bash scripts/fuzz.sh 0 "$bandscope_root/build/fuzz"
fi
echo "==> all test suites passed"
