#!/usr/bin/env bash
# Runs a command with every i386 Linux program, Wine's 32-bit loader among them, run by
# qemu-user, as on a machine whose kernel cannot run them: the tests' qemu path, tried here.
#   tools/wine-via-qemu.sh COMMAND [ARGUMENT...]
# A binfmt_misc registration is tried before the kernel's own loader, so registering qemu-i386
# is enough. Where each user namespace has a binfmt_misc of its own (Linux 6.7 on), the command
# runs in a new one and nothing else on the machine sees the registration. Elsewhere it is made
# for the whole machine and removed afterwards, also when the command fails or is interrupted;
# one that was there before is left as it was. Needs qemu-user (MORLUNE_WINE_VIA=qemu
# tools/install-prerequisites.sh installs it).
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: tools/wine-via-qemu.sh COMMAND [ARGUMENT...]" >&2; exit 2; }
conf=/usr/share/qemu/binfmt.d/qemu-i386.conf
if [ ! -f "$conf" ]; then
  echo "wine-via-qemu.sh: qemu-user is missing; MORLUNE_WINE_VIA=qemu tools/install-prerequisites.sh installs it" >&2
  exit 1
fi
binfmt=/proc/sys/fs/binfmt_misc

# shellcheck disable=SC2016 # expanded by the inner shell
private='mount -t binfmt_misc binfmt_misc "$1" && cat "$2" >"$1/register" || exit 125
shift 2
exec "$@"'
if unshare --user --map-root-user --mount sh -c "$private" sh "$binfmt" "$conf" true 2>/dev/null; then
  exec unshare --user --map-root-user --mount sh -c "$private" sh "$binfmt" "$conf" "$@"
fi

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
write() { echo "$2" | "${sudo[@]}" tee "$1" >/dev/null; }
mounted=0 registered=0 disabled=0
restore() {
  [ "$registered" -eq 0 ] || write "$binfmt/qemu-i386" -1 || true
  [ "$disabled" -eq 0 ] || write "$binfmt/qemu-i386" 0 || true
  [ "$mounted" -eq 0 ] || "${sudo[@]}" umount "$binfmt" || true
}
trap restore EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if ! mountpoint -q "$binfmt"; then
  "${sudo[@]}" mount -t binfmt_misc binfmt_misc "$binfmt"
  mounted=1
fi
if [ ! -e "$binfmt/qemu-i386" ]; then
  "${sudo[@]}" tee "$binfmt/register" <"$conf" >/dev/null
  registered=1
elif [ "$(head -n 1 "$binfmt/qemu-i386")" = disabled ]; then
  write "$binfmt/qemu-i386" 1
  disabled=1
fi
if [ "$registered" -eq 1 ] || [ "$disabled" -eq 1 ]; then
  echo "wine-via-qemu.sh: qemu-i386 registered for the whole machine until this command ends" >&2
fi
"$@"
