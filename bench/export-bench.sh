#!/usr/bin/env bash
# Whole-export benchmarks, each run several times in one go (best run kept):
#  1. tarvo-host exporting through the plug-in with the soft runtime's x264
#     encoder, against FFmpeg's command line encoding the same raw BGR frames
#     with libx264 at the preset and bit rates the soft runtime uses for the
#     default settings (balanced -> veryfast, VBR 1400 kbps, VBV 1400 kbps).
#     Both read the frames from the same generator: tarvo-host draws them on
#     request, FFmpeg gets them from `tarvo-host frames` through a pipe.
#  2. The whole export at 1920x1080 with the null encoder: the plug-in's own
#     speed, with and without audio. A stand-in muxer that only copies the
#     stream to the output keeps the muxer's own time out of it.
# Usage: bench/export-bench.sh [BUILD_DIR]   (default: build/, built if needed)
# Knobs: TARVO_BENCH_RUNS (3), TARVO_BENCH_FRAMES (300).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
runs=${TARVO_BENCH_RUNS:-3}
frames=${TARVO_BENCH_FRAMES:-300}

. "$root/bench/lib.sh"

# "wall cpu" seconds of one run of a command; cpu counts every thread and
# child process (user + system), which a loaded machine inflates far less.
time_of() {
    local TIMEFORMAT='%R %U %S' t
    { time "$@" >/dev/null 2>"$work/last.err"; } 2>"$work/time" || { cat "$work/last.err" >&2; return 1; }
    read -r wall user sys <"$work/time"
    awk -v w="$wall" -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f %.3f\n", w, u + s }'
}
smaller() { awk -v t="$1" -v b="$2" 'BEGIN { print (b == "" || t < b) ? t : b }'; }
# Best of $runs runs of each command, the commands run in turn so that a
# change in the machine's load hits all alike. Prints "wall cpu" per command.
best_of() {  # commands...
    local -a wall cpu
    local i w c
    for _ in $(seq "$runs"); do
        for i in $(seq 0 $(($# - 1))); do
            read -r w c < <(time_of "${@:i+1:1}")
            wall[i]=$(smaller "$w" "${wall[i]:-}")
            cpu[i]=$(smaller "$c" "${cpu[i]:-}")
        done
    done
    for i in $(seq 0 $(($# - 1))); do printf '%s %s ' "${wall[i]}" "${cpu[i]}"; done
    echo
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
# The same, with x264 set up as the soft runtime sets it up (no look-ahead,
# no macroblock tree, two fixed B-frames, its frame threads: two a core, at
# most 4, as mfxsoft/codec_x264.cpp counts them): how much of
# the difference is x264's settings rather than the export's own work.
ffmpeg_x264_matched() {
    "$host" frames --size "$size" --rate 30 --frames "$frames" -o - |
        ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt bgr24 -s "$size" -r 30 -i - \
            -c:v libx264 -preset veryfast -profile:v main -level 4 -threads "$(( 2 * $(nproc) > 4 ? 4 : 2 * $(nproc) ))" \
            -x264-params "bframes=2:b-adapt=0:b-pyramid=none:rc-lookahead=0:sync-lookahead=0:mbtree=0:keyint=256:vbv-init=0.5" \
            -b:v 1400k -maxrate 1400k -bufsize 1400k -pix_fmt yuv420p "$work/matched.mp4"
}
read -r tarvo_time tarvo_cpu ffmpeg_time ffmpeg_cpu matched_time matched_cpu \
    < <(best_of tarvo_x264 ffmpeg_x264 ffmpeg_x264_matched)
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
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
# The plug-in takes only a file that opens with an MP4 file type box.
{ printf '\000\000\000\030ftypisom\000\000\002\000isomiso2'; cat "$video"; } >"$out"
SH
chmod +x "$work/copy-muxer"
"$host" settings set "$settings" "muxerPath=$work/copy-muxer" >/dev/null
null_export() {
    MFXSOFT_ENCODER=null "$host" export --settings "$settings" --quiet \
        --size 1920x1080 --rate 30 --frames "$frames" -o "$work/null.mp4" "$@"
}
null_video() { null_export --no-audio; }
read -r null_time null_cpu null_audio_time null_audio_cpu < <(best_of null_video null_export)
fps() { awk -v n="$frames" -v t="$1" 'BEGIN { printf "%.0f", n / t }'; }

cat <<REPORT
whole export, $frames frames, best of $runs runs, $(nproc) cores, load average $(cut -d' ' -f1 /proc/loadavg)
                                           wall s    fps   CPU s   kbit/s
  x264 $size, veryfast, VBR 1400 kbps, no audio:
    tarvo-host + plug-in + soft runtime   $(printf '%7s %6s %7s %8s' "$tarvo_time" "$(fps "$tarvo_time")" "$tarvo_cpu" "$(kbps "$work/tarvo.mp4")")
    ffmpeg -c:v libx264, same frames      $(printf '%7s %6s %7s %8s' "$ffmpeg_time" "$(fps "$ffmpeg_time")" "$ffmpeg_cpu" "$(kbps "$work/ffmpeg.mp4")")
    ffmpeg, x264 set up as the runtime    $(printf '%7s %6s %7s %8s' "$matched_time" "$(fps "$matched_time")" "$matched_cpu" "$(kbps "$work/matched.mp4")")
    ratio tarvo / ffmpeg                  $(printf '%7s %6s %7s' "$(ratio "$tarvo_time" "$ffmpeg_time")" "" "$(ratio "$tarvo_cpu" "$ffmpeg_cpu")")   (goal: wall <= 0.85)
    ratio tarvo / ffmpeg set up alike     $(printf '%7s %6s %7s' "$(ratio "$tarvo_time" "$matched_time")" "" "$(ratio "$tarvo_cpu" "$matched_cpu")")
  null encoder 1920x1080:
    no audio                              $(printf '%7s %6s %7s' "$null_time" "$(fps "$null_time")" "$null_cpu")
    with 48 kHz stereo audio (AAC)        $(printf '%7s %6s %7s' "$null_audio_time" "$(fps "$null_audio_time")" "$null_audio_cpu")
REPORT
