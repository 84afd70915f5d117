# shellcheck shell=bash
# Sourced by the Wine scripts: where the private prefix and the display record live, and the
# prefix's architecture. $1 is the state folder inside the build tree; $2, given by start-wine.sh
# alone, is win32 (the default) or win64, and is recorded there for the other scripts.
state=$(realpath -m "${1:?state folder}")
export WINEPREFIX="$state/prefix"
if [ -n "${2:-}" ]; then
  WINEARCH=$2
elif [ -f "$state/winearch" ]; then
  WINEARCH=$(cat "$state/winearch")
else
  WINEARCH=win32
fi
export WINEARCH
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# How Wine's 32-bit loader, an i386 program, runs here: "qemu" when binfmt_misc hands i386
# programs to qemu-user (such a registration is tried before the kernel's own loader), else
# "native". Some hardware faults are reported differently through qemu.
wine_via() {
  local entry binfmt=/proc/sys/fs/binfmt_misc
  [ "$(cat "$binfmt/status" 2>/dev/null)" = enabled ] || { echo native; return; }
  for entry in "$binfmt"/*; do
    case "${entry##*/}" in register | status) continue ;; esac
    [ "$(head -n 1 "$entry" 2>/dev/null)" = enabled ] || continue
    # The magic of an ELF file for i386: 32-bit, little-endian, e_machine 3.
    grep -q '^magic 7f454c460101.\{24\}0300' "$entry" || continue
    grep -q '^interpreter .*qemu' "$entry" && { echo qemu; return; }
  done
  echo native
}
