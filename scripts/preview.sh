#!/usr/bin/env bash
# Saves pictures of a medium's dialog as Setup.exe shows it under Wine,
# without installing anything: scripts/preview.sh MEDIUM [--language N]
# [--out dialog.png] [--running running.png [--row N]]
# [--download download.png [--component NAME]]
# (--out: the dialog as it first shows; --running: in the middle of the
# installation; --download: the download window halfway through a file, of
# the first component with downloads or of the one --component names;
# --language 1036: as on a French system; details: scripts/preview.py --help).
# Builds first when the build folder (BUILD_DIR, default build) lacks what the
# preview needs.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="${BUILD_DIR:-$here/build}"
if [ ! -f "$build/win/e2e_driver.exe" ] || [ ! -f "$build/win/e2e_stub.exe" ] || [ ! -f "$build/setup-check" ]; then
  BUILD_DIR="$build" bash "$here/scripts/build.sh"
fi
exec python3 "$here/scripts/preview.py" --build "$build" "$@"
