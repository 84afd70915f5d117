#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: natively, then the DLL's checks and
# the Windows programs under Wine.
set -euo pipefail
cd "$(dirname "$0")"

./build.sh --no-demo
ctest --preset native
ctest --preset win32
