#!/usr/bin/env bash
# Builds what is handed to users, from scratch or on top of earlier builds:
# the 64-bit Windows build (Tarvo_output.auo2, 64-bit tarvo-aac.exe and
# tarvo-mux.exe) in build-windows64/, the 32-bit one (Tarvo_output.auo,
# 32-bit programs) in build-windows/, and from both the release zip
# build-windows/Tarvo_output-<version>.zip and ExEdit2's package
# build-windows/Tarvo.au2pkg.zip. The windows stage of scripts/test-all.sh
# builds the same way and then tests it.
# Usage: scripts/release.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" --all

configure_and_build() {  # name, cmake options...
  local dir="$root/build-$1"; shift
  cmake -S "$root" -B "$dir" -G Ninja -DTARVO_WERROR=ON "$@" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$(nproc)"
}

configure_and_build windows64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake"
configure_and_build windows -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DTARVO_AUO2="$root/build-windows64/plugin2/Tarvo_output.auo2"
cmake --build "$root/build-windows" --target dist
