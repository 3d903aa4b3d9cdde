#!/usr/bin/env bash
# The Debian package that cpack makes from this build: where its files go
# (the program where the shell finds it, the desktop's entry, icons and the
# help page where the desktop and the program look for them; nothing else,
# nothing outside /usr), its fields, that it depends on the package of every
# library the program links, as dpkg itself knows them, and on nothing else,
# and that the packed program is stripped and runs.
#   check-package.sh <build folder> <version>
set -euo pipefail
build=$1 version=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >/dev/null) || fail "cpack failed"
deb=$work/letterloom_${version}_amd64.deb
[ -f "$deb" ] || fail "cpack made no $deb"
files=$(dpkg-deb --contents "$deb" | grep -v '^d' | awk '{print $NF}' | sort | tr '\n' ' ')
[ "$files" = "./usr/bin/letterloom ./usr/share/applications/letterloom.desktop ./usr/share/icons/hicolor/16x16/apps/letterloom.png ./usr/share/icons/hicolor/32x32/apps/letterloom.png ./usr/share/icons/hicolor/scalable/apps/letterloom.svg ./usr/share/letterloom/help.html " ] \
    || fail "the package holds: $files"
[ "$(dpkg-deb --field "$deb" Package Version Architecture | tr '\n' ' ')" = "Package: letterloom Version: $version Architecture: amd64 " ] \
    || fail "its fields: $(dpkg-deb --field "$deb" Package Version Architecture)"
dpkg-deb --extract "$deb" "$work/root"
program=$work/root/usr/bin/letterloom
needed=$(readelf --dynamic "$program" | sed -nE 's/.*\(NEEDED\).*\[(.+)\]/\1/p' | sort)
grep -qx libQt6Widgets.so.6 <<<"$needed" && grep -qx libgio-2.0.so.0 <<<"$needed" || fail "it needs only: $needed"
# The files the loader picks for them, and the packages dpkg says hold them
# (by the path its package gave a file, which on a merged /usr may be the
# loader's or the real one).
resolved=$(ldd "$program" | awk -v needed="$needed" 'BEGIN {split(needed, n, "\n"); for (i in n) want[n[i]] = 1}
                                  $2 == "=>" && ($1 in want) {print $1, $3}')
[ "$(wc -l <<<"$resolved")" = "$(wc -l <<<"$needed")" ] || fail "the loader finds only: $resolved"
packages=$(while read -r _ path; do
    dpkg --search "$path" 2>/dev/null || dpkg --search "$(readlink -f "$path")" || fail "no package holds $path"
done <<<"$resolved" | cut -d: -f1 | sort -u)
depends=$(dpkg-deb --field "$deb" Depends | tr ',' '\n' | awk '{print $1}' | sort -u)
[ "$packages" = "$depends" ] || fail "it depends on: $depends; its libraries come from: $packages"
! file "$program" 2>/dev/null | grep -q "not stripped" || fail "the program is not stripped"
[ "$("$program" --version)" = "Letterloom $version" ] || fail "--version said: $("$program" --version)"
echo "the package's files, fields and dependencies are right, and its program runs"
