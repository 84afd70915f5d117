#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: natively, then both toolchains' DLL
# checks and Windows programs under one Wine (the win32-clang preset runs win32's too).
set -euo pipefail
cd "$(dirname "$0")"

./build.sh --no-demo
ctest --preset native
ctest --preset win32-clang
