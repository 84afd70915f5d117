#!/usr/bin/env bash
# The main job: installs what is missing, builds key translation natively and Morlune.dll for
# 32-bit Windows, and puts the DLL in dist/.
set -euo pipefail
cd "$(dirname "$0")"

tools/install-prerequisites.sh
for preset in native win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
mkdir -p dist
cp build/win32/bin/Morlune.dll dist/
echo "dist/Morlune.dll: $(stat -c %s dist/Morlune.dll) bytes, sha256 $(sha256sum dist/Morlune.dll | cut -d' ' -f1)"
