#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds bandscope and runs the whole test suite:
# the warnings-as-errors build, the AddressSanitizer + UndefinedBehaviorSanitizer build,
# and the ThreadSanitizer build of the capture hand-off tests.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$bandscope_root"

bandscope_install_packages

jobs="$(nproc)"
bandscope_build ci
bandscope_build asan
bandscope_build tsan handoff_tests  # ThreadSanitizer covers the capture hand-off

echo "==> tests (warnings-as-errors build)"
ctest --preset ci -j "$jobs"
echo "==> tests (AddressSanitizer + UndefinedBehaviorSanitizer)"
ctest --preset asan -j "$jobs"
echo "==> capture hand-off tests (ThreadSanitizer)"
ctest --preset tsan -j "$jobs"
echo "==> all test suites passed"
