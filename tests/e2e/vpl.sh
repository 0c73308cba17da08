#!/usr/bin/env bash
# The soft runtime behaving like Intel's VPL GPU runtime (MFXSOFT_RUNTIME=vpl):
# its pre-processing refuses 24-bit RGB, so the plug-in sets the pipeline up
# again with 32-bit RGB. Whole exports must still succeed and look exactly as
# with the 24-bit input: audio and video, an odd size upright at the same
# PSNR as the RGB3 path, a cancel (which leaves nothing).
. "$(dirname "$0")/lib.sh"
settings=$TARVO_WORK/settings.bin
make_settings "$settings"
bound=35
export MFXSOFT_RUNTIME=vpl

out=$TARVO_WORK/out/both.mp4
run_export --settings "$settings" --size 320x180 --rate 30 --frames 45 -o "$out"
check "vpl: export succeeds" [ "$rc" -eq 0 ]
check "vpl: video and audio tracks" [ "$(stream_types "$out")" = "video audio " ]
check "vpl: 45 frames" [ "$(frame_count "$out")" = 45 ]
check "vpl: audio lasts 1.5 s within 50 ms" near "$(duration_of "$out" a:0)" 1.5 0.05
check "vpl: temporary folder empty" temp_is_empty

# An odd size (rows of 1923 bytes, padded to 1924 by the host) through both
# runtime kinds: the same frames, so the same worst-frame PSNR.
size=641x359 w=641 h=359
declare -A psnr
for kind in msdk vpl; do
    out=$TARVO_WORK/out/odd-$kind.mp4 raw=$TARVO_WORK/out/odd-$kind.bgr
    MFXSOFT_RUNTIME=$kind
    run_export --settings "$settings" --size "$size" --frames 12 --no-audio -o "$out"
    check "$kind $size: export succeeds" [ "$rc" -eq 0 ]
    timeout -k 5 60 "$TARVO_HOST" frames --size "$size" --frames 12 -o "$raw"
    check "$kind $size: 12 frames" [ "$(frame_count "$out")" = 12 ]
    psnr[$kind]=$(psnr_y "$out" "$raw" "$w" "$h")
    check "$kind $size: worst luma PSNR ${psnr[$kind]} dB >= $bound" at_least "${psnr[$kind]:-0}" "$bound"
done
flipped=$(psnr_y "$TARVO_WORK/out/odd-vpl.mp4" "$TARVO_WORK/out/odd-vpl.bgr" "$w" "$h" vflip)
check "vpl $size: upside-down reference scores $flipped dB < $bound" at_least "$bound" "${flipped:-0}"
check "vpl $size: PSNR ${psnr[vpl]} dB is the RGB3 path's ${psnr[msdk]} dB" [ "${psnr[vpl]}" = "${psnr[msdk]}" ]
MFXSOFT_RUNTIME=vpl

out=$TARVO_WORK/out/abort.mp4
run_export --settings "$settings" --size 320x180 --frames 60 --abort-after 10 -o "$out"
check "vpl: cancelled export (exit 4)" [ "$rc" -eq 4 ]
check "vpl: no frame asked for after the cancel" [ "$(stat_of frames)" = 10 ]
check "vpl: nothing written" [ ! -e "$out" ]
check "vpl: temporary folder empty after the cancel" temp_is_empty
finish
