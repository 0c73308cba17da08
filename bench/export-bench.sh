#!/usr/bin/env bash
# Whole-export benchmarks, each run several times in one go (best run kept):
#  1. tarvo-host exporting through the plug-in with the soft runtime's x264
#     encoder, against FFmpeg's command line encoding the same raw BGR frames
#     with libx264 at the preset and bit rates the soft runtime uses for the
#     default settings (balanced -> veryfast, VBR 1400 kbps, VBV 1400 kbps).
#     Both read the frames from the same generator: tarvo-host draws them on
#     request, FFmpeg gets them from `tarvo-host frames` through a pipe.
#  2. The whole export at 1920x1080 with the null encoder: the plug-in's own
#     speed, with and without audio. The null encoder writes no H.264, so a
#     stand-in muxer that only copies the stream to the output is used.
# Usage: bench/export-bench.sh [BUILD_DIR]   (default: build/, built if needed)
# Knobs: TARVO_BENCH_RUNS (3), TARVO_BENCH_FRAMES (300).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${TARVO_BENCH_RUNS:-3}
frames=${TARVO_BENCH_FRAMES:-300}

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j "$(nproc)" >/dev/null
host=$build/host/tarvo-host
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tmp"
export TMPDIR=$work/tmp

now() { date +%s.%N; }
# Best wall time of $runs runs of a command, in seconds.
best_of() {
    local best="" start end t
    for _ in $(seq "$runs"); do
        start=$(now)
        "$@" >/dev/null 2>"$work/last.err" || { cat "$work/last.err" >&2; return 1; }
        end=$(now)
        t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')
        if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
    done
    echo "$best"
}

settings=$work/settings.bin
"$host" settings set "$settings" "tempFolder=$work/tmp" >/dev/null

# 1. x264 through the plug-in against FFmpeg with libx264.
size=1280x720
tarvo_x264() {
    MFXSOFT_ENCODER=x264 "$host" export --settings "$settings" --quiet --no-audio \
        --size "$size" --rate 30 --frames "$frames" -o "$work/tarvo.mp4"
}
ffmpeg_x264() {
    "$host" frames --size "$size" --rate 30 --frames "$frames" -o - |
        ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt bgr24 -s "$size" -r 30 -i - \
            -c:v libx264 -preset veryfast -profile:v main -level 4 \
            -b:v 1400k -maxrate 1400k -bufsize 1400k -pix_fmt yuv420p "$work/ffmpeg.mp4"
}
tarvo_time=$(best_of tarvo_x264)
ffmpeg_time=$(best_of ffmpeg_x264)
ratio=$(awk -v a="$tarvo_time" -v b="$ffmpeg_time" 'BEGIN { printf "%.2f", a / b }')
kbps() { ffprobe -v error -select_streams v:0 -show_entries stream=bit_rate -of csv=p=0 "$1" | awk '{ printf "%d", $1 / 1000 }'; }

# 2. The null encoder at 1080p; the muxer only copies the stream.
cat >"$work/copy-muxer" <<'SH'
#!/bin/sh
# -add "<video>#video:fps=R" [-add "<aac>#audio"] -new "<out>"
video= out=
while [ $# -gt 0 ]; do
    case "$1" in
        -add) case "$2" in *#video*) video=${2%%#*} ;; esac; shift 2 ;;
        -new) out=$2; shift 2 ;;
        *) shift ;;
    esac
done
cp "$video" "$out"
SH
chmod +x "$work/copy-muxer"
"$host" settings set "$settings" "muxerPath=$work/copy-muxer" >/dev/null
null_export() {  # extra options
    MFXSOFT_ENCODER=null "$host" export --settings "$settings" --quiet \
        --size 1920x1080 --rate 30 --frames "$frames" -o "$work/null.mp4" "$@"
}
null_time=$(best_of null_export --no-audio)
null_audio_time=$(best_of null_export)
fps() { awk -v n="$frames" -v t="$1" 'BEGIN { printf "%.0f", n / t }'; }

cat <<REPORT
whole export, $frames frames, best of $runs runs ($(nproc) cores)
  x264 $size, veryfast, VBR 1400 kbps, no audio:
    tarvo-host + plug-in + soft runtime   ${tarvo_time} s  ($(fps "$tarvo_time") fps, $(kbps "$work/tarvo.mp4") kbps)
    ffmpeg -c:v libx264 on the same frames ${ffmpeg_time} s  ($(fps "$ffmpeg_time") fps, $(kbps "$work/ffmpeg.mp4") kbps)
    ratio tarvo / ffmpeg                  ${ratio}  (goal <= 1.0)
  null encoder 1920x1080:
    no audio                              ${null_time} s  ($(fps "$null_time") fps)
    with 48 kHz stereo audio (AAC)        ${null_audio_time} s  ($(fps "$null_audio_time") fps)
REPORT
