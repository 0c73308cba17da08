#!/usr/bin/env bash
# Builds the plug-in and the host, then shows what the editor would see of it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build" -j "$(nproc)"
"$root/build/host/tarvo-host" info "$root/build/plugin/Tarvo_output.so"
