#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages the build and the tests need, and makes sure this
# machine can run 32-bit Wine. Does nothing when all is in place. Needs root (or sudo) only
# when something is missing. With MORLUNE_WINE_VIA=qemu (see test.sh) it installs qemu-user
# even where the kernel runs i386 programs, and leaves registering it to tools/wine-via-qemu.sh.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev     # build, tests
  clang-tidy clang-format shellcheck git                         # lint, style
  g++-mingw-w64-i686 binutils-mingw-w64-i686                     # the DLL, with GCC
  clang-19 lld-19 llvm-19                                        # the DLL, with clang
  wine wine32:i386 wine64 xvfb python3-pefile                    # running and checking it
  strip-nondeterminism                                           # the reproducible ZIP
  libbenchmark-dev valgrind                                      # benchmarks
  nlohmann-json3-dev                                             # plughost check's JSON report
)

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for package in "${packages[@]}"; do installed "$package" || missing+=("$package"); done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
  fi
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Wine's 32-bit loader is an i386 Linux program. Some kernels (virtual machines without 32-bit
# support) cannot run those; there qemu-user runs them, through binfmt_misc. Only qemu 8 or
# later (bookworm-backports) is fast enough: older ones take a minute to start each process.
register=1
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  [ "${MORLUNE_WINE_VIA:-}" = qemu ] || exit 0
  register=0
fi

backports=/etc/apt/sources.list.d/bookworm-backports.sources
if ! dpkg-query -W -f='${Version}' qemu-user 2>/dev/null | grep -q '^1:[1-9][0-9]\|^1:[89]'; then
  if [ "$register" -eq 1 ]; then
    echo "This kernel cannot run i386 programs: installing qemu-user from bookworm-backports"
  else
    echo "MORLUNE_WINE_VIA=qemu: installing qemu-user from bookworm-backports"
  fi
  if [ ! -f "$backports" ]; then
    "${sudo[@]}" tee "$backports" >/dev/null <<'SOURCES'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  fi
  "${sudo[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends \
    -t bookworm-backports qemu-user
fi

[ "$register" -eq 1 ] || exit 0

# The registration lasts until the next boot, so it is checked every time.
binfmt=/proc/sys/fs/binfmt_misc
interpreter=/usr/libexec/qemu-binfmt/i386-binfmt-P
mountpoint -q "$binfmt" || "${sudo[@]}" mount -t binfmt_misc binfmt_misc "$binfmt"
if ! grep -qx "interpreter $interpreter" "$binfmt/qemu-i386" 2>/dev/null; then
  [ -e "$binfmt/qemu-i386" ] && echo -1 | "${sudo[@]}" tee "$binfmt/qemu-i386" >/dev/null
  "${sudo[@]}" tee "$binfmt/register" </usr/share/qemu/binfmt.d/qemu-i386.conf >/dev/null
fi
/usr/lib/wine/wine --version >/dev/null 2>&1 || {
  echo "32-bit Wine still cannot start on this machine" >&2
  exit 1
}
