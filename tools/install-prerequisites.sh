#!/usr/bin/env bash
# Installs, with apt-get, the Debian packages the build and the tests need; does nothing when
# they are all present. Needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev   # native build and tests
  g++-mingw-w64-i686 binutils-mingw-w64-i686                     # the DLL
  wine wine32:i386 xvfb python3-pefile                           # running and checking it
  strip-nondeterminism                                           # the reproducible ZIP
  libbenchmark-dev valgrind                                      # benchmarks
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo[@]}" dpkg --add-architecture i386
fi
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
