#!/usr/bin/env bash
# Cross-compiles Letterloom for 64-bit Windows with Debian's MinGW against the
# Qt for Windows of the toolchains folder, lays out the program folder and
# packs it as a ZIP and an installer (build-windows/Letterloom-<version>-win64.*).
# With --test it then runs the Windows test suite under Wine.
#   build-windows.sh [--test] [CMake options...]
#
#   LETTERLOOM_TOOLCHAINS         the toolchains folder (default: ../shared/toolchains
#                                 beside the project), holding qt-6.4.2-mingw64/
#   LETTERLOOM_WINDOWS_BUILD_DIR  the build folder (default: build-windows/)
#   LETTERLOOM_REQUIRE_WINDOWS=1  a missing toolchain is an error instead of a skip (CI)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/scripts/windows-toolchain.sh"
build=${LETTERLOOM_WINDOWS_BUILD_DIR:-$top/build-windows}
toolchains=$letterloom_toolchains
qt_toolchain=$letterloom_qt_toolchain
run_tests=false
if [ "${1:-}" = --test ]; then
    run_tests=true
    shift
fi
# Further arguments go to CMake, e.g. -DLETTERLOOM_BUILD_BENCH=ON for the
# benchmarks.

if [ ! -f "$qt_toolchain" ]; then
    if [ "${LETTERLOOM_REQUIRE_WINDOWS:-}" = 1 ]; then
        echo "error: the Windows build is required, but there is no Qt for Windows in $toolchains" >&2
        echo "       (set LETTERLOOM_TOOLCHAINS to the folder that holds qt-6.4.2-mingw64/)" >&2
        exit 1
    fi
    echo "skipped: the Windows build and its tests under Wine (no Qt for Windows in $toolchains;" \
         "set LETTERLOOM_TOOLCHAINS to the folder that holds qt-6.4.2-mingw64/)"
    exit 0
fi

"$top/scripts/setup.sh"
# The Linux build's store driver, for the test of a Windows and a Linux copy
# on one folder (tests/teamfolder/wine-and-linux.sh).
linux_driver=${LETTERLOOM_BUILD_DIR:-$top/build}/tests/standin_storedriver
[ -x "$linux_driver" ] || linux_driver=
if ! output=$(cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$qt_toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
                   -DLETTERLOOM_LINUX_STOREDRIVER="$linux_driver" "$@" 2>&1); then
    echo "$output" >&2
    echo "error: configuring the Windows build in $build failed" >&2
    exit 1
fi
cmake --build "$build" --parallel "$(nproc)"

# The program folder as a ZIP and as an installer.
rm -f "$build"/Letterloom-*-win64.zip "$build"/Letterloom-*-win64.exe
for generator in ZIP NSIS; do
    if ! output=$(cd "$build" && cpack -G "$generator" 2>&1); then
        echo "$output" >&2
        exit 1
    fi
done
for package in "$build"/Letterloom-*-win64.zip "$build"/Letterloom-*-win64.exe; do
    [ -f "$package" ] || { echo "error: cpack made no $package" >&2; exit 1; }
    echo "Windows package: $package ($(stat -c %s "$package") bytes)"
done

if $run_tests; then
    cd "$build"
    ctest --output-on-failure --parallel "$(nproc)"
fi
