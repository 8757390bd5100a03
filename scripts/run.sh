#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds bandscope and starts it.
# Until the window exists this runs the band transform benchmark.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$bandscope_root"

bandscope_install_packages
bandscope_build release
echo "==> running bandscope_bench"
exec build/release/bench/bandscope_bench "$@"
