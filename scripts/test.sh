#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite headless;
# then the Windows build and its tests under Wine (scripts/build-windows.sh),
# which says "skipped" where there is no Qt for Windows.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${LETTERLOOM_BUILD_DIR:-$top/build}
"$top/scripts/setup.sh"
"$top/scripts/build.sh"
(cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)")
"$top/scripts/build-windows.sh" --test
