#!/usr/bin/env bash
# A Windows copy of Letterloom under Wine and a Linux copy on one folder of
# one machine. Their machine's own locks (a named mutex, flock) do not see
# each other, and they share the host name; only the lock file keeps them
# apart, whose holder each must know for another machine's (MachineGuid and
# the boot's time against machine-id, boot id and PID namespace), never
# taking the other's live lock. The Windows copy saves templates while the
# Linux copy renames and deletes others (tests/teamfolder/check.py).
#
#   wine-and-linux.sh <wine-run.sh> <standin_storedriver.exe> <Linux standin_storedriver> [saves] [changes]
#
# Run by the Windows build's ctest, which knows the Linux build's driver
# through LETTERLOOM_LINUX_STOREDRIVER (scripts/build-windows.sh).
set -euo pipefail
wine_run=$1
windows=$2
linux=$3
saves=${4:-60}
changes=${5:-16}
here=$(cd "$(dirname "$0")" && pwd)
[ -x "$linux" ] || { echo "skipped: there is no Linux build's store driver at $linux"; exit 0; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/share"
"$linux" "$work/share" save B "$changes" >/dev/null
start=$(date +%s.%N)
"$wine_run" "$windows" "Z:$work/share" save A "$saves" >"$work/a.out" &
saver=$!
# Wine takes longer to start than the Linux copy takes for its changes: they
# begin once the Windows copy has saved its first template.
for _ in $(seq 300); do [ -s "$work/a.out" ] && break; sleep 0.1; done
"$linux" "$work/share" rename-delete B "$changes" >"$work/b.out"
wait "$saver"
seconds=$(python3 -c "import time; print(round(time.time() - $start, 1))")
python3 "$here/check.py" "a Windows copy under Wine and a Linux copy on one folder" "$work/share/MainData.txt" \
    "$seconds" "$saves" "$changes" "$work/a.out" "$work/b.out"
