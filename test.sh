#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: natively, then both toolchains' DLL
# checks and Windows programs under one Wine (the win32-clang preset runs win32's too), and the
# release build's again in a 64-bit prefix.
# MORLUNE_WINE_VIA=qemu runs Wine's 32-bit loader through qemu-user, as on machines whose kernel
# cannot run i386 programs, even where it can (tools/wine-via-qemu.sh); MORLUNE_WINE_VIA=native
# insists on the kernel's own loader. Unset, Wine runs the way this machine runs it.
set -euo pipefail
cd "$(dirname "$0")"

wine_via=()
case "${MORLUNE_WINE_VIA:-}" in
  "" | native) ;;
  qemu) wine_via=(tools/wine-via-qemu.sh) ;;
  *) echo "test.sh: MORLUNE_WINE_VIA is qemu or native, not '$MORLUNE_WINE_VIA'" >&2; exit 2 ;;
esac

./build.sh --no-demo
ctest --preset native
"${wine_via[@]}" ctest --preset win32-clang
