#!/usr/bin/env bash
# Configures and builds Letterloom in build/ (or in $LETTERLOOM_BUILD_DIR).
# Further arguments go to CMake (-DLETTERLOOM_BUILD_BENCH=ON for the
# benchmarks). What CMake says is shown when configuring fails.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${LETTERLOOM_BUILD_DIR:-$top/build}
if ! output=$(cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" 2>&1); then
    echo "$output" >&2
    echo "error: configuring the build in $build failed" >&2
    exit 1
fi
cmake --build "$build" --parallel "$(nproc)"
