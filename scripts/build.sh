#!/usr/bin/env bash
# Builds the native core with its tests and, through the MinGW toolchain,
# Setup.exe with the end-to-end helpers. Output: build/ and build/win/.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="${BUILD_DIR:-$here/build}"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)"
