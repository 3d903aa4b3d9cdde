#!/usr/bin/env bash
# Builds the data-file fuzz target (CMake's option LETTERLOOM_BUILD_FUZZ) with
# clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, and runs
# it. Slow: run by hand, not by CI.
#
#   tests/fuzz/run.sh [seconds]      (default 600)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-600}
out=${FUZZ_DIR:-$top/build-fuzz}
for pkg in clang libclang-rt-14-dev; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" \
        || { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$pkg"; }
done
CXX=clang++ cmake -S "$top" -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLETTERLOOM_BUILD_TESTS=OFF \
    -DLETTERLOOM_BUILD_FUZZ=ON -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" >/dev/null
cmake --build "$out" --target fuzz_datafile --parallel "$(nproc)"
mkdir -p "$out/corpus"
# A few seeds: stored lines as the program writes them.
printf 'Offer\tSubject\ta.pdf;b.pdf\tcc@x\tto@x\tbcc@x\tTrue\tFalse\t/x.html\r\n\r\nno tab\r\n\tx\r\n' > "$out/corpus/seed1"
printf 'Name \tS\t\t\t\t\tfalse\tTRUE\tp\tq\r\n\x93\x94\x80\x81\r\nlast' > "$out/corpus/seed2"
"$out/tests/fuzz/fuzz_datafile" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 "$out/corpus"
