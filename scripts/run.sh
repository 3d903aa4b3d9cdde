#!/usr/bin/env bash
# Installs what is missing, builds, and starts Letterloom.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh"
exec "${LETTERLOOM_BUILD_DIR:-$top/build}/app/letterloom"
