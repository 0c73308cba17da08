#!/usr/bin/env bash
# Colour accuracy of a whole export: flat patches (75% and 100% bars,
# greys, skin tones) exported through tarvo-host at HD (1920x1080, BT.709)
# and SD (640x480, BT.601), decoded by FFmpeg with the matrix and range the
# stream is tagged with, compared with the source RGB by CIEDE2000 over the
# centre of each patch (9x9 pixels, averaged). Prints mean and worst per size.
# Usage: bench/colour-accuracy.sh [BUILD_DIR]   (default: build/, built if needed)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
. "$root/bench/lib.sh"

for size in 1920x1080 640x480; do
    w=${size%x*} h=${size#*x}
    python3 "$root/bench/colour_patches.py" draw "$w" "$h" "$work/src-$size.ppm"
    ffmpeg -v error -y -loop 1 -i "$work/src-$size.ppm" -frames:v 5 -r 25 -c:v rawvideo -pix_fmt bgr24 "$work/src-$size.nut"
    "$host" export "$work/src-$size.nut" --no-audio -o "$work/out-$size.mp4" >/dev/null
    space=$(ffprobe -v error -select_streams v:0 -show_entries stream=color_space -of csv=p=0 "$work/out-$size.mp4")
    case "$space" in bt709) matrix=bt709 ;; smpte170m|bt470bg) matrix=bt601 ;; *) echo "untagged stream: $space" >&2; exit 1 ;; esac
    ffmpeg -v error -y -i "$work/out-$size.mp4" -frames:v 1 \
        -vf "scale=in_color_matrix=$matrix:in_range=tv:flags=accurate_rnd+full_chroma_int,format=rgb24" \
        -f rawvideo "$work/dec-$size.rgb"
    printf '%s (%s): ' "$size" "$matrix"
    python3 "$root/bench/colour_patches.py" compare "$w" "$h" "$work/dec-$size.rgb"
done
