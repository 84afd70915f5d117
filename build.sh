#!/usr/bin/env bash
# The main job: installs what is missing; builds key translation natively and the Windows side
# with both toolchains (Morlune.dll, plughost; the release ZIP from clang's build); fills dist/;
# then plays a short live demo of the real DLL under Wine. --no-demo skips the demo.
set -euo pipefail
cd "$(dirname "$0")"

demo=1
for argument in "$@"; do
  case "$argument" in
    --no-demo) demo=0 ;;
    -h | --help) sed -n '2,${/^#/!q;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) echo "build.sh: unknown argument '$argument' (try --help)" >&2; exit 2 ;;
  esac
done

tools/install-prerequisites.sh
# win32 (GCC) before win32-clang, whose tests run win32's Windows programs too.
for preset in native win32 win32-clang; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
# The release comes from the toolchain that makes the smaller DLL: clang.
release=build/win32-clang
(cd "$release" && cpack >/dev/null)

rm -rf dist
mkdir -p dist
cp "$release/bin/Morlune.dll" "$release/bin/plughost.exe" "$release"/release/*.zip dist/
echo
echo "dist/:"
(cd dist && for file in *; do printf '  %-36s %8d bytes  sha256 %s\n' "$file" "$(stat -c %s "$file")" \
  "$(sha256sum "$file" | cut -d' ' -f1)"; done)

if [ "$demo" -eq 1 ]; then
  echo
  tools/demo.sh
fi
