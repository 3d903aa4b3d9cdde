#!/usr/bin/env bash
# A screenshot of the Windows build's window under Wine, run by hand after
# scripts/build-windows.sh: the program folder from the ZIP, a data folder
# as earlier versions wrote it, three pairs in the registry, the program
# started on its own (no DLL search path) on the throwaway prefix's Xvfb.
#   windows-screenshot.sh [output.png [dpi]]   (default docs/letterloom-windows.png at 96 dpi;
#                                               needs imagemagick)
# dpi is Windows' LogPixels: 144 is 150 % scaling, 192 is 200 %.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${LETTERLOOM_WINDOWS_BUILD_DIR:-$top/build-windows}
output=${1:-$top/docs/letterloom-windows.png}
dpi=${2:-96}
run=$build/wine-run.sh
work=$(mktemp -d)
trap '"$build/wine-prefix.sh" cleanup; rm -rf "$work"' EXIT

"$build/wine-prefix.sh" setup
unzip -q "$build"/Letterloom-*-win64.zip -d "$work"
folder=$(echo "$work"/Letterloom-*-win64)
# Windows-1252 and CR LF, as the program has always written them.
printf 'Offer\tOur offer for [Name]\tC:\\Offers\\price list.pdf\tsales@example.com\t[Email]\t\tTrue\tFalse\t\r\n' \
    >"$folder/MainData.txt"
printf 'Caf\xe9 newsletter\t\x93News\x94 from the caf\xe9\t\t\tann@example.org\t\tFalse\tTrue\tC:\\Mail\\news.htm\r\n' \
    >>"$folder/MainData.txt"
printf 'Reminder\tPayment reminder \x96 invoice [Invoice]\t\t\t[Email]\taccounts@example.com\tTrue\tFalse\t\r\n' \
    >>"$folder/MainData.txt"
for pair in 'TextFind-0=[Name]' 'TextReplace-0=Mrs Smith' 'TextFind-1=[Email]' 'TextReplace-1=smith@example.com' \
            'TextFind-2=[Invoice]' 'TextReplace-2=2026-117'; do
    "$run" reg add 'HKCU\Software\Letterloom\Letterloom\replace' /v "${pair%%=*}" /d "${pair#*=}" /f >/dev/null
done

"$run" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null
# Smoothed text, as Windows draws it by default.
"$run" reg add 'HKCU\Control Panel\Desktop' /v FontSmoothing /d 2 /f >/dev/null
"$run" reg add 'HKCU\Control Panel\Desktop' /v FontSmoothingType /t REG_DWORD /d 2 /f >/dev/null
LETTERLOOM_WINE_BARE=1 "$run" "$folder/letterloom.exe" &
program=$!
sleep 10
DISPLAY=:$(cat "$build/wineprefix.display") import -window root "$work/screen.png"
kill "$program" 2>/dev/null || true
wait "$program" 2>/dev/null || true
# The window alone: the screen around it is black.
convert "$work/screen.png" -trim +repage "$output"
echo "Screenshot: $output"
