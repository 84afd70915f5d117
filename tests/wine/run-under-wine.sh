#!/usr/bin/env bash
# The cross-compiling emulator: runs a Windows program under Wine on the fixture's display. The
# program finds in MORLUNE_WINE_VIA (qemu or native) how Wine's 32-bit loader runs.
set -euo pipefail
# shellcheck source=SCRIPTDIR/wine-env.sh
source "$(dirname "$0")/wine-env.sh" "$1"
shift
if [ ! -f "$state/display" ]; then
  echo "no X display: the Wine fixture (start-wine.sh) has not run or has failed" >&2
  exit 1
fi
DISPLAY=$(cat "$state/display")
MORLUNE_WINE_VIA=$(cat "$state/via")
export DISPLAY MORLUNE_WINE_VIA
exec wine "$@"
