#!/usr/bin/env bash
# The two muxers side by side on one large stream: tarvo-mux (reads the
# H.264 stream twice, hands ffmpeg a transport stream through a pipe) against
# mp4box-compat (FFmpeg's libraries in-process), and tarvo-aac against
# neroaacenc-compat on its WAV. 1280x720 at 30000/1001 with three B-frames,
# 20 Mbit/s, 1800 frames (one minute, about 140 MB); best of the runs.
# Usage: bench/muxers-bench.sh [BUILD_DIR]   (default: build-plain/)
# Knobs: TARVO_BENCH_RUNS (3).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-plain}
runs=${TARVO_BENCH_RUNS:-3}
cmake --build "$build" -j 2 --target tarvo-aac tarvo-mux neroaacenc-compat mp4box-compat >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=30000/1001 -frames:v 1800 -c:v libx264 \
    -preset ultrafast -b:v 20M -bf 3 -x264-params b-adapt=0 -f h264 "$work/video.h264"
ffmpeg -nostdin -v error -y -f lavfi -i sine=d=60.06 -ac 2 -ar 48000 -c:a pcm_s16le "$work/audio.wav"
echo "stream: $(stat -c %s "$work/video.h264") bytes, WAV $(stat -c %s "$work/audio.wav") bytes"

best() {  # label, command... -> "label  wall s  max RSS KB", best wall time of the runs
    local label=$1; shift
    local best_wall= best_rss=
    for _ in $(seq "$runs"); do
        /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1
        read -r wall rss <"$work/time"
        if [ -z "$best_wall" ] || awk -v a="$wall" -v b="$best_wall" 'BEGIN { exit !(a < b) }'; then
            best_wall=$wall best_rss=$rss
        fi
    done
    printf '%-20s %6s s %8s KB\n' "$label" "$best_wall" "$best_rss"
}

tools=$build/tools
best tarvo-aac "$tools/fftools/tarvo-aac" -br 128000 -if "$work/audio.wav" -of "$work/a1.m4a"
best neroaacenc-compat "$tools/compat/neroaacenc-compat" -br 128000 -if "$work/audio.wav" -of "$work/a2.m4a"
best tarvo-mux "$tools/fftools/tarvo-mux" -add "$work/video.h264#video:fps=29.97" -add "$work/a1.m4a#audio" \
    -new "$work/m1.mp4"
best mp4box-compat "$tools/compat/mp4box-compat" -add "$work/video.h264#video:fps=29.97" -add "$work/a1.m4a#audio" \
    -new "$work/m2.mp4"
