#!/usr/bin/env bash
# Installs what is missing from Debian's packages: by default what
# scripts/demo.sh needs (the native build of the plug-in, tarvo-host and the
# stand-in programs, and ffprobe); with --all also what scripts/test-all.sh
# needs (GoogleTest, Google Benchmark, mingw-w64, Wine, Xvfb, ...).
# Idempotent, and quiet when everything is already there.
# Usage: scripts/install-deps.sh [--all]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/apt-sources.sh"

all=false
case "${1:-}" in
  "") ;;
  --all) all=true ;;
  *) echo "usage: $0 [--all]" >&2; exit 2 ;;
esac

# The native build links all of these; ffmpeg brings ffprobe.
packages=(
  build-essential cmake ninja-build pkg-config
  libmfx-dev libx264-dev libx265-dev libsvtav1enc-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg
  libfltk1.3-dev libx11-dev
)
if $all; then
  packages+=(
    git zip unzip file python3
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    mingw-w64 g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
    xvfb xauth x11-utils imagemagick
    wine wine32:i386 wine64
  )
fi

# A mirror in the middle of a sync (or a cache in front of it that kept an old
# copy) serves an index that does not match its Release file. Ask again a
# few times, then go on with the indexes that did arrive.
apt_update() {
  local try
  for try in 1 2 3; do
    apt-get update -qq -o Acquire::Retries=3 && return 0
    [ "$try" -lt 3 ] && sleep $((try * 10))
  done
  echo "install-deps: apt-get update failed three times; going on with the indexes it has" >&2
}

# Without the security suite's i386 index, the i386 half of a Multi-Arch pair
# (libc6, zlib1g, ...) exists only at the point release's version, and apt
# cannot pair it with the amd64 half from the security suite. Then install
# once more preferring the point release for both halves.
apt_install() {
  apt-get install -y -qq "$@" >/dev/null && return 0
  echo "install-deps: install failed; trying again with the point release preferred over security updates" >&2
  local pin
  pin=$(mktemp)
  printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' >"$pin"
  local status=0
  apt-get install -y -qq -o Dir::Etc::preferences="$pin" "$@" >/dev/null || status=$?
  rm -f "$pin"
  return $status
}

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -ne 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "install-deps: installing ${missing[*]}" >&2
  # Wine's 32-bit runtime comes from the i386 architecture.
  if $all && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt_update
  # The demo's set without what its packages merely recommend (GPU drivers,
  # GL headers, GnuPG, manuals): a fifth fewer packages, and nothing the
  # build or the export uses.
  if $all; then apt_install "${missing[@]}"; else apt_install --no-install-recommends "${missing[@]}"; fi
fi

# Wine's loader is a 32-bit x86 program. A kernel that runs none (some virtual
# machines) runs it through qemu's user-mode emulator, which
# tests/wine/run-wine-tests.sh registers; qemu before 8 cannot place Wine's
# memory, so bookworm takes qemu from its backports, from the mirror that
# serves the rest of the archive here.
qemu_major() {
  local major
  major=$(qemu-i386 --version 2>/dev/null | sed -n 's/.*version \([0-9]*\)\..*/\1/p;q' || true)
  echo "${major:-0}"
}
if $all && ! wine --version >/dev/null 2>&1 && [ "$(qemu_major)" -lt 8 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: 32-bit programs do not run here and qemu-user 8 or later is missing (run as root)" >&2
    exit 1
  fi
  . /etc/os-release
  from=()
  if [ "${VERSION_CODENAME:-}" = bookworm ]; then
    if ! entry=$(backports_source /etc/apt bookworm); then
      echo "install-deps: no apt source serves bookworm's main component, so bookworm-backports (for qemu-user 8) cannot be added" >&2
      exit 1
    fi
    [ -z "$entry" ] || printf '%s\n' "$entry" >/etc/apt/sources.list.d/bookworm-backports.sources
    from=(-t bookworm-backports)
  fi
  echo "install-deps: installing qemu-user ${from[*]} to run 32-bit Wine" >&2
  apt_update
  apt_install "${from[@]}" qemu-user
fi
