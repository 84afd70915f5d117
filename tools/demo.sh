#!/usr/bin/env bash
# A live demo: under Wine on a private Xvfb display, plughost opens a stand-in Morlune window
# and plays a few remote keys through the real dist/Morlune.dll, showing what it injected.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# A folder of its own: the tests' fixture must not be stopped by a demo run beside it.
state=$root/build/win32/demo-wine
"$root/tests/wine/start-wine.sh" "$state" >/dev/null
trap '"$root/tests/wine/stop-wine.sh" "$state"' EXIT

keys=(31 23 28 1 2 3 4 25:2 12)
echo "Demo: remote keys ${keys[*]} played through dist/Morlune.dll under Wine"
echo "(31 Ctrl+Page Down, 23 F6, 28 switches the control-digit mode, then three digits with"
echo " Ctrl and one without, 25 in state 2 is F11, 12 is not a key of the plug-in)"
echo
echo "\$ plughost press --target Morlune.dll ${keys[*]}"
cd "$root/dist"
"$root/tests/wine/run-under-wine.sh" "$state" plughost.exe press --target Morlune.dll "${keys[@]}" |
  tr -d '\r'
