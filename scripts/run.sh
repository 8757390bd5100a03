#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds bandscope and starts it. Arguments are passed on
# (for example a band count: scripts/run.sh 512).
set -euo pipefail
caller_dir="$PWD"  # file names among the arguments are relative to where it was started
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$bandscope_root"

bandscope_install_packages
bandscope_build release bandscope  # the program alone: the tests and their corpus wait for test.sh
echo "==> starting bandscope"
cd "$caller_dir"
exec "$bandscope_root/build/release/src/app/bandscope" "$@"
