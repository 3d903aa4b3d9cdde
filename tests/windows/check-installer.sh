#!/usr/bin/env bash
# The installer under Wine: a silent install for the current user puts the
# self-contained program folder under %LOCALAPPDATA%\Programs\Letterloom with
# a Start-menu entry and an uninstall entry; the installed program starts
# with nothing but its own folder (no DLL search path); the program folder is
# put on the user's PATH; the uninstaller takes away the program and that
# PATH entry, exactly, and leaves the user's templates.
#   check-installer.sh <wine-run.sh> <Letterloom-...-win64.exe>
set -euo pipefail
run=$1 installer=$2
[ -f "$installer" ] || { echo "FAIL: no installer at $installer (cpack -G NSIS makes it)" >&2; exit 1; }
fail() { echo "FAIL: $*" >&2; exit 1; }
unixpath() { "$run" winepath -u "$1" | tr -d '\r'; }

path_value() { "$run" reg query 'HKCU\Environment' /v Path 2>/dev/null | tr -d '\r' | sed -nE 's/^ +Path +(REG_[A-Z_]+) +(.*)$/\1 \2/p'; }
[ -z "$(path_value)" ] || fail "the user of the prefix has a PATH already"
"$run" "$installer" /S || fail "the installer ended with status $?"
local_appdata=$("$run" cmd /c 'echo %LOCALAPPDATA%' | tr -d '\r')
appdata=$("$run" cmd /c 'echo %APPDATA%' | tr -d '\r')
folder_win="$local_appdata\\Programs\\Letterloom"
folder=$(unixpath "$folder_win")
echo "Installed in $folder_win"
# On the PATH, as the registry keeps it; a new Command Prompt finds letterloom.com.
[ "$(path_value)" = "REG_EXPAND_SZ $folder_win" ] || fail "the installer made the PATH \"$(path_value)\""
[ "$(cd / && LETTERLOOM_WINE_BARE=1 "$run" cmd /c letterloom --version | tr -d '\r')" = "Letterloom 2.1" ] \
    || fail "a new Command Prompt does not find letterloom"
for file in letterloom.exe letterloom.com Uninstall.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll libstdc++-6.dll libgcc_s_seh-1.dll \
            libwinpthread-1.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll help/help.html; do
    [ -f "$folder/$file" ] || fail "$file is not in the program folder"
done
shortcut=$(unixpath "$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\Letterloom.lnk")
[ -f "$shortcut" ] || fail "no Start-menu entry"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Letterloom'
entry=$("$run" reg query "$uninstall_key" | tr -d '\r')
grep -qE 'DisplayName[[:space:]]+REG_SZ[[:space:]]+Letterloom 2\.1$' <<<"$entry" || fail "no uninstall entry"
# Its size in KiB, as the folder holds it (du counts whole blocks: a little more).
size=$(sed -nE 's/.*EstimatedSize[[:space:]]+REG_DWORD[[:space:]]+0x([0-9a-fA-F]+)$/\1/p' <<<"$entry")
[ -n "$size" ] || fail "the uninstall entry has no EstimatedSize"
folder_kib=$(du -sk "$folder" | cut -f1)
(( 16#$size > folder_kib * 9 / 10 && 16#$size <= folder_kib )) \
    || fail "EstimatedSize says $((16#$size)) KiB, the folder holds $folder_kib KiB"

# Templates an earlier run left in the folder, which the uninstaller leaves as
# they are, byte for byte.
declare -A templates=([MainData.txt]=$'Offer\tsubject\t\t\t\t\tTrue\tFalse\t\r\n' [LTM-Offer.txt]=$'body\r\n')
for name in "${!templates[@]}"; do
    printf %s "${templates[$name]}" >"$folder/$name"
done

# The installed program on its own: Wine without the build's DLL search
# path. It is still running after some seconds when it found all it needs.
LETTERLOOM_WINE_BARE=1 "$run" "$folder/letterloom.exe" &
program=$!
sleep 8
kill -0 "$program" 2>/dev/null || { wait "$program" || true; fail "the installed program ended at once"; }
kill "$program"
wait "$program" 2>/dev/null || true
echo "The installed program started from its own folder."

# Uninstalling in place (_?= keeps the uninstaller from copying itself away
# and returning at once).
"$run" "$folder/Uninstall.exe" /S "_?=$folder_win" || fail "the uninstaller ended with status $?"
for path in "$folder"/{letterloom.exe,letterloom.com,Qt6Core.dll,platforms/qwindows.dll,help/help.html} "$shortcut"; do
    [ ! -e "$path" ] || fail "$path is still there after uninstalling"
done
! "$run" reg query "$uninstall_key" >/dev/null 2>&1 || fail "the uninstall entry is still there"
for name in "${!templates[@]}"; do
    cmp -s "$folder/$name" <(printf %s "${templates[$name]}") || fail "the uninstaller took or changed $name"
done
echo "Uninstalled; the templates stayed in $folder_win."
[ -z "$(path_value)" ] || fail "the uninstaller left the PATH \"$(path_value)\""

# A PATH of 2,000 characters, longer than an NSIS text holds, with a variable:
# the installer adds its entry, the uninstaller gives it back byte for byte.
long='%USERPROFILE%\bin'
while [ ${#long} -lt 2000 ]; do long+=";C:\\Tools\\tool-${#long}\\bin"; done
long=${long:0:2000}
"$run" reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d "$long" /f >/dev/null
"$run" "$installer" /S || fail "the installer ended with status $?"
[ "$(path_value)" = "REG_EXPAND_SZ $long;$folder_win" ] || fail "the long PATH became \"$(path_value)\""
"$run" "$folder/Uninstall.exe" /S "_?=$folder_win" || fail "the uninstaller ended with status $?"
[ "$(path_value)" = "REG_EXPAND_SZ $long" ] || fail "the uninstaller did not give the long PATH back as it was"
echo "The PATH: the program folder added and taken away, a PATH of 2,000 characters kept byte for byte."
