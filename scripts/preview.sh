#!/usr/bin/env bash
# Saves a picture of a medium's dialog as Setup.exe shows it under Wine,
# without installing anything: scripts/preview.sh MEDIUM [--language N]
# [--out shot.png] (--language 1036: as on a French system; details:
# scripts/preview.py --help). Builds first when the build folder lacks what
# the preview needs.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="${BUILD_DIR:-$here/build}"
if [ ! -f "$build/win/e2e_driver.exe" ] || [ ! -f "$build/setup-check" ]; then
  BUILD_DIR="$build" bash "$here/scripts/build.sh"
fi
exec python3 "$here/scripts/preview.py" --build "$build" "$@"
