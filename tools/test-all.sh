#!/usr/bin/env bash
# Installs what is needed, builds both builds and runs every test: the unit tests
# on the test platform, then the end-to-end tests of vellora.scr under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
bash tools/build.sh
status=0
(cd build/native && ctest --output-on-failure -j2) || status=1
python3 tests/wine/run_e2e.py build/win32 || status=1
exit $status
