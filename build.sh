#!/usr/bin/env bash
# The main job: installs what is missing; builds key translation natively and the Windows side
# (Morlune.dll, plughost, the release ZIP); fills dist/; then plays a short live demo of the
# real DLL under Wine. --no-demo skips the demo.
set -euo pipefail
cd "$(dirname "$0")"

demo=1
for argument in "$@"; do
  case "$argument" in
    --no-demo) demo=0 ;;
    -h | --help) sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "build.sh: unknown argument '$argument' (try --help)" >&2; exit 2 ;;
  esac
done

tools/install-prerequisites.sh
for preset in native win32; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
(cd build/win32 && cpack >/dev/null)

rm -rf dist
mkdir -p dist
cp build/win32/bin/Morlune.dll build/win32/bin/plughost.exe build/win32/release/*.zip dist/
echo
echo "dist/:"
(cd dist && for file in *; do printf '  %-36s %8d bytes  sha256 %s\n' "$file" "$(stat -c %s "$file")" \
  "$(sha256sum "$file" | cut -d' ' -f1)"; done)

if [ "$demo" -eq 1 ]; then
  echo
  tools/demo.sh
fi
