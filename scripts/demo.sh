#!/usr/bin/env bash
# Installs what is missing, builds Setup.exe and runs it under Wine on its
# stored default configuration, beside the demo product's package.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh"
bash "$here/scripts/build.sh"
python3 "$here/scripts/demo.py" "${BUILD_DIR:-$here/build}"
