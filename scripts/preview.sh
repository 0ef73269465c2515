#!/usr/bin/env bash
# Saves pictures of a medium's dialog as Setup.exe shows it under Wine,
# without installing anything: preview.sh MEDIUM [--language N]
# [--out dialog.png] [--running running.png [--row N]]
# [--download download.png [--component NAME]]
# (--out: the dialog as it first shows; --running: in the middle of the
# installation; --download: the download window halfway through a file, of
# the first component with downloads or of the one --component names;
# --language 1036: as on a French system; details: preview.py --help).
# In the source tree (scripts/preview.sh) it builds first when the build
# folder (BUILD_DIR, default build) lacks what the preview needs. In the
# publisher's kit (preview.sh beside setup-check and the folder preview/)
# it runs the kit's own programs and builds nothing.
set -euo pipefail
self=$(cd "$(dirname "$0")" && pwd)

# What the preview runs on this system: Wine with its 32-bit half and fonts,
# a virtual display, ImageMagick for the PNG files, and Python.
need_pkgs=(wine wine32:i386 wine64 fonts-wine xvfb imagemagick python3)
missing_packages() {
  local p missing=()
  if command -v dpkg-query >/dev/null; then
    for p in "${need_pkgs[@]}"; do
      dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
  else
    local pair
    for pair in wine:wine wineserver:wine Xvfb:xvfb convert:imagemagick python3:python3; do
      command -v "${pair%%:*}" >/dev/null || missing+=("${pair#*:}")
    done
  fi
  echo "${missing[*]}"
}

missing=$(missing_packages)
if [ -f "$self/preview/preview.py" ]; then
  if [ -n "$missing" ]; then
    echo "preview: missing on this system: $missing. Install as root (Debian 12):" >&2
    echo "  dpkg --add-architecture i386 && apt-get update && apt-get install ${need_pkgs[*]}" >&2
    exit 2
  fi
  exec python3 "$self/preview/preview.py" "$@"
fi

here=$(cd "$self/.." && pwd)
if [ -n "$missing" ]; then
  echo "preview: missing on this system: $missing. Install them as root: bash $here/scripts/install-deps.sh" >&2
  exit 2
fi
build="${BUILD_DIR:-$here/build}"
if [ ! -f "$build/win/e2e_driver.exe" ] || [ ! -f "$build/win/e2e_stub.exe" ] || [ ! -f "$build/setup-check" ]; then
  BUILD_DIR="$build" bash "$here/scripts/build.sh"
fi
exec python3 "$here/scripts/preview.py" --build "$build" "$@"
