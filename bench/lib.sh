# Shared set-up of the whole-export benchmarks, sourced after `root` and
# `build` are set: builds the tree (configured as a release build when new)
# and gives the script `host` (tarvo-host) and `work`, a private folder that
# is also TMPDIR and is removed at exit.
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j "$(nproc)" >/dev/null
host=$build/host/tarvo-host
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tmp"
export TMPDIR=$work/tmp
