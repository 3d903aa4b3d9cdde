#!/usr/bin/env bash
# Installs the Debian packages that Letterloom needs to build, run and test.
# Does nothing when they are all there; never prompts.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    python3 xdg-utils
)
# Extra packages named by the areas of the program (one per line).
source "$(dirname "$0")/windows-toolchain.sh"
for list in "$(dirname "$0")"/packages-*.txt; do
    [ -f "$list" ] || continue
    # Wine and the rest only where the Windows build runs (scripts/build-windows.sh).
    if [ "$(basename "$list")" = packages-windows.txt ] && ! letterloom_windows_wanted; then
        continue
    fi
    while read -r pkg _; do
        case "$pkg" in ''|'#'*) continue ;; esac
        packages+=("$pkg")
    done < "$list"
done

missing=()
for pkg in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
