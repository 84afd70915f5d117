#!/usr/bin/env bash
# Test fixture set-up: starts Xvfb on a free display and a persistent wineserver on a private
# prefix (created on first use). Records the display and Xvfb's PID for run and stop, and how
# Wine's 32-bit loader runs here for the tests (run-under-wine.sh passes it on).
#   start-wine.sh STATE [win32|win64]
# win64 makes a 64-bit prefix, where 32-bit programs run under WoW64.
set -euo pipefail
# shellcheck source=SCRIPTDIR/wine-env.sh
source "$(dirname "$0")/wine-env.sh" "$1" "${2:-win32}"
case "$WINEARCH" in
  win32 | win64) ;;
  *) echo "unknown prefix architecture '$WINEARCH'" >&2; exit 2 ;;
esac
mkdir -p "$state"

# Anything left from an interrupted run goes first.
"$(dirname "$0")/stop-wine.sh" "$state"
echo "$WINEARCH" >"$state/winearch"
via=$(wine_via)
# A run asked for one path (MORLUNE_WINE_VIA, see test.sh) must not quietly test the other.
if [ -n "${MORLUNE_WINE_VIA:-}" ] && [ "$MORLUNE_WINE_VIA" != "$via" ]; then
  echo "MORLUNE_WINE_VIA=$MORLUNE_WINE_VIA, but i386 programs run $via here" >&2
  exit 1
fi
echo "$via" >"$state/via"

# Xvfb picks a free display itself and writes its number once it accepts connections, so two
# fixtures started at once never share one.
rm -f "$state/display.number"
setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
  3>"$state/display.number" </dev/null >"$state/xvfb.log" 2>&1 &
echo $! >"$state/xvfb.pid"
for _ in $(seq 1 100); do
  [ -s "$state/display.number" ] && break
  kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null || { cat "$state/xvfb.log" >&2; exit 1; }
  sleep 0.1
done
display=$(tr -d '[:space:]' <"$state/display.number")
[ -n "$display" ] || { echo "Xvfb did not start" >&2; exit 1; }
echo ":$display" >"$state/display"
export DISPLAY=":$display"

if [ ! -f "$WINEPREFIX/.morlune-ready" ]; then
  wineboot --init >"$state/wineboot.log" 2>&1
  wineserver -w
  # A crash ends the process instead of waiting on a dialog; with no window manager, Wine must
  # not wait for one when windows hide.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.morlune-ready"
fi
setsid wineserver -p </dev/null >/dev/null 2>&1
# Start Wine's background services now, detached: a test that started them would hand them its
# output pipe, and CTest would wait for them to close it.
setsid wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
echo "Xvfb on :$display, Wine prefix $WINEPREFIX ($WINEARCH), i386 programs: $via"
