#!/usr/bin/env bash
# Builds the fuzz target (CMake's option LETTERLOOM_BUILD_FUZZ) with clang,
# libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, and runs it in
# one of its two modes.
# Slow: run by hand, not by CI.
#
#   tests/fuzz/run.sh [seconds] [datafile|records]      (default 600, datafile)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-600}
mode=${2:-datafile}
out=${FUZZ_DIR:-$top/build-fuzz}
for pkg in clang libclang-rt-14-dev; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" \
        || { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$pkg"; }
done
CXX=clang++ cmake -S "$top" -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLETTERLOOM_BUILD_TESTS=OFF \
    -DLETTERLOOM_BUILD_FUZZ=ON -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" >/dev/null
cmake --build "$out" --target fuzz_store --parallel "$(nproc)"
corpus=$out/corpus-fuzz_$mode
mkdir -p "$corpus"
if [ "$mode" = datafile ]; then
    # A few seeds: stored lines as the program writes them.
    printf 'Offer\tSubject\ta.pdf;b.pdf\tcc@x\tto@x\tbcc@x\tTrue\tFalse\t/x.html\r\n\r\nno tab\r\n\tx\r\n' > "$corpus/seed1"
    printf 'Name \tS\t\t\t\t\tfalse\tTRUE\tp\tq\r\n\x93\x94\x80\x81\r\nlast' > "$corpus/seed2"
else
    # The first byte chooses the file (0 the record, 1 the lock, 2 a kept version).
    printf '\0Letterloom change 1\nrename\t.letterloom-change-1-a-1.tmp\tMainData.txt\nremove\tLTM-Other.txt\nappend\tMainData.txt\t0\tx.tmp\nend\n' > "$corpus/seed1"
    printf '\0Letterloom change 2\nremove\tDeleted/x.record\nend\n' > "$corpus/seed2"
    printf '\1Letterloom lock\nhost=pc\npid=1\nuser=u\nsince=2026-12-01T10:00:00Z\ntoken=t\nrefreshed=3\n' > "$corpus/seed3"
    printf '\2Letterloom kept version 1\r\nkind=delete\r\nuser=%s\r\nbody=LTM-Kept.txt\r\nline=Kept\tS\t\t\t\t\tTrue\tFalse\t\r\nlast\r\n' "$(id -un)" > "$corpus/seed4"
fi
LETTERLOOM_FUZZ=$mode TMPDIR=${TMPDIR:-/dev/shm} "$out/tests/fuzz/fuzz_store" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 "$corpus"
