#!/usr/bin/env bash
# Test fixture clean-up: stops this prefix's wineserver and the Xvfb this fixture started.
set -uo pipefail
# shellcheck source=SCRIPTDIR/wine-env.sh
source "$(dirname "$0")/wine-env.sh" "$1"
[ -d "$WINEPREFIX" ] && wineserver -k 2>/dev/null
if [ -f "$state/xvfb.pid" ]; then
  pid=$(cat "$state/xvfb.pid")
  kill "$pid" 2>/dev/null && for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  rm -f "$state/xvfb.pid"
fi
rm -f "$state/display"
exit 0
