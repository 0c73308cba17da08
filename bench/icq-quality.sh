#!/usr/bin/env bash
# ICQ quality against bit rate and picture quality, per codec: a table from
# which a user picks a quality value. The clip is FFmpeg's mandelbrot
# source (detail that moves everywhere, harder than most footage), kept
# lossless, exported through the plug-in with the soft runtime's encoders
# (VPL GPU runtime's personality, which has every codec) at each quality;
# the MP4 is compared with the clip in 4:2:0 of the export's matrix (BT.709
# from 1280 wide or 577 lines): mean luma PSNR and SSIM over all
# planes.
# Usage: bench/icq-quality.sh [BUILD_DIR]   (default: build/, built if needed)
# Knobs: TARVO_BENCH_SIZE (1280x720), TARVO_BENCH_FRAMES (90),
#        TARVO_BENCH_QUALITIES ("16 20 24 28 32 36"), TARVO_BENCH_CODECS ("h264 hevc av1").
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
size=${TARVO_BENCH_SIZE:-1280x720}
frames=${TARVO_BENCH_FRAMES:-90}
qualities=${TARVO_BENCH_QUALITIES:-16 20 24 28 32 36}
codecs=${TARVO_BENCH_CODECS:-h264 hevc av1}

. "$root/bench/lib.sh"
export SVT_LOG=1 MFXSOFT_RUNTIME=vpl

matrix=bt601
[ "${size%x*}" -ge 1280 ] || [ "${size#*x}" -gt 576 ] && matrix=bt709
clip=$work/clip.nut  # exact 1/30 s time stamps (Matroska rounds them to ms)
ffmpeg -nostdin -v error -f lavfi -i "mandelbrot=size=$size:rate=30" -frames:v "$frames" -c:v ffv1 "$clip"

echo "| codec | quality | kbps | PSNR Y (dB) | SSIM |"
echo "|---|---|---|---|---|"
for codec in $codecs; do
    for quality in $qualities; do
        out=$work/$codec-$quality.mp4
        rm -f "$work/s.bin"
        "$host" settings set "$work/s.bin" "tempFolder=$work/tmp" "codec=$codec" rateControl=ICQ "quality=$quality" >/dev/null
        timeout 1200 "$host" export --quiet --settings "$work/s.bin" "$clip" -o "$out" >/dev/null
        kbps=$(ffprobe -v error -select_streams v:0 -show_entries stream=bit_rate -of csv=p=0 "$out" |
            awk '{ printf "%d", $1 / 1000 }')
        scores=$(ffmpeg -nostdin -v info -i "$out" -i "$clip" -lavfi \
            "[1:v]scale=out_color_matrix=$matrix:out_range=tv,format=yuv420p[ref];[0:v]format=yuv420p[enc];[enc]split[a][b];[ref]split[c][d];[a][c]psnr;[b][d]ssim" \
            -f null - 2>&1)
        psnr=$(sed -n 's/.*PSNR y:\([0-9.]*\).*/\1/p' <<<"$scores" | tail -1)
        ssim=$(sed -n 's/.*SSIM .* All:\([0-9.]*\).*/\1/p' <<<"$scores" | tail -1)
        printf "| %s | %s | %s | %.2f | %.4f |\n" "$codec" "$quality" "$kbps" "$psnr" "$ssim"
    done
done
