#!/usr/bin/env bash
# The find/replace pairs typed into the real window under Wine, read back
# from the registry with Wine's own "reg query".
#   check-registry.sh <wine-run.sh> <tst_programfolder_win.exe>
set -euo pipefail
run=$1 program=$2
LETTERLOOM_QTEST=1 "$run" "$program" pairsTypedInTheWindow
key='HKCU\Software\Letterloom\Letterloom\replace'
listing=$("$run" reg query "$key" | tr -d '\r')
echo "reg query $key:"
echo "$listing"
status=0
expect() {
    if ! grep -qxE "[[:space:]]+$1[[:space:]]+REG_SZ[[:space:]]+$2" <<<"$listing"; then
        echo "FAIL: $1 is not the string $2" >&2
        status=1
    fi
}
expect TextFind-2 '\[Name\]'
expect TextReplace-2 'Zoe Smith'
expect TextFind-10 '\[Date\]'
expect TextReplace-10 '6 May'
[ $status = 0 ] && echo "The pairs are in the registry under HKEY_CURRENT_USER\\Software\\Letterloom\\Letterloom\\replace."
exit $status
