#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need; does nothing when all are present.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev googletest libgtest-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  wine64 wixl msitools 7zip libarchive-tools xvfb xauth imagemagick
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
