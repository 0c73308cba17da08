#!/usr/bin/env bash
# Builds the plug-in, tarvo-host and the stand-in programs, exports the demo
# project (a moving pattern with a frame counter and a tone) through the
# plug-in, and shows what ffprobe sees in the MP4.
# Usage: scripts/demo.sh [OUT.mp4]   (default: build/demo.mp4)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
out=${1:-$build/demo.mp4}

# Only what the export needs: no tests, so neither GoogleTest nor the
# Windows tool chain (scripts/install-deps.sh installs just this much).
cmake -S "$root" -B "$build" -G Ninja -DTARVO_TESTS=OFF >/dev/null
cmake --build "$build" --target demo -j "$(nproc)"

rm -f "$out"
echo "demo: exporting the demo project to $out" >&2
"$build/host/tarvo-host" export -o "$out"
echo >&2
ffprobe -hide_banner "$out"
