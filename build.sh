#!/usr/bin/env bash
# The main job: installs what is missing, then builds everything.
set -euo pipefail
cd "$(dirname "$0")"

tools/install-prerequisites.sh
cmake --preset native >/dev/null
cmake --build --preset native
