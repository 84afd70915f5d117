#!/usr/bin/env bash
# The cross-compiling emulator: runs a Windows program under Wine on the fixture's display.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh" "$1"
shift
if [ ! -f "$state/display" ]; then
  echo "no X display: the Wine fixture (start-wine.sh) has not run or has failed" >&2
  exit 1
fi
export DISPLAY=$(cat "$state/display")
exec wine "$@"
