#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages.
# Idempotent, and quiet when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git zip file
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libmfx-dev libx264-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg
  libfltk1.3-dev
  mingw-w64 g++-mingw-w64-i686 binutils-mingw-w64-i686
  xvfb xauth x11-utils imagemagick
  wine wine32:i386
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}" >&2
# Wine's 32-bit runtime comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
