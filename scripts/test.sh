#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite: the
# native unit tests, the checks of the Setup.exe file, and the end-to-end
# cases under Wine.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
start=$(date +%s)
bash "$here/scripts/install-deps.sh"
bash "$here/scripts/build.sh"
cd "${BUILD_DIR:-$here/build}"
ctest --output-on-failure "$@"
echo "test suite took $(( $(date +%s) - start )) s"
