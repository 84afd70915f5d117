# shellcheck shell=bash
# Sourced by the Wine scripts: where the private prefix and the display record live.
# $1 is the state folder inside the build tree.
state=$(realpath -m "${1:?state folder}")
export WINEPREFIX="$state/prefix"
export WINEARCH=win32
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
