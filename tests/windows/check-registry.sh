#!/usr/bin/env bash
# The find/replace pairs typed into the real window under Wine, read back
# from the registry with Wine's own "reg query".
#   check-registry.sh <wine-run.sh> <tst_programfolder_win.exe>
set -euo pipefail
run=$1 program=$2
LETTERLOOM_QTEST=1 "$run" "$program" pairsTypedInTheWindow
key='HKCU\Software\Letterloom\Letterloom\replace'
listing=$("$run" reg query "$key" | tr -d '\r')
printf 'reg query %s:\n%s\n' "$key" "$listing"
status=0
# Each value's name, then the text it must hold (an extended regular expression).
while read -r name text; do
    grep -qxE "[[:space:]]+$name[[:space:]]+REG_SZ[[:space:]]+$text" <<<"$listing" \
        || { echo "FAIL: $name is not the string $text" >&2; status=1; }
done <<'VALUES'
TextFind-2 \[Name\]
TextReplace-2 Zoe Smith
TextFind-10 \[Date\]
TextReplace-10 6 May
VALUES
[ $status = 0 ] && echo "The pairs are in the registry under HKEY_CURRENT_USER\\Software\\Letterloom\\Letterloom\\replace."
exit $status
