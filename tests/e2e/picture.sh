#!/usr/bin/env bash
# What the viewer sees is what the host supplied: odd widths (rows padded to
# 4 bytes), the picture upright, every frame in its place, compared frame by
# frame in luma PSNR at the default bit rate (the worst frame counts).
. "$(dirname "$0")/lib.sh"
settings=$TARVO_WORK/settings.bin
make_settings "$settings"
bound=35

for size in 641x120 643x120 640x96; do
    w=${size%x*} h=${size#*x}
    out=$TARVO_WORK/out/pic-$w.mp4 raw=$TARVO_WORK/out/pic-$w.bgr
    run_export --settings "$settings" --size "$size" --frames 12 --no-audio -o "$out"
    check "$size: export succeeds" [ "$rc" -eq 0 ]
    timeout -k 5 60 "$TARVO_HOST" frames --size "$size" --frames 12 -o "$raw"
    check "$size: 12 frames" [ "$(frame_count "$out")" = 12 ]
    psnr=$(psnr_y "$out" "$raw" "$w" "$h")
    check "$size: worst luma PSNR $psnr dB >= $bound" at_least "${psnr:-0}" "$bound"
    # The comparison must be able to fail: the same frames upside down, or
    # one frame late, do.
    flipped=$(psnr_y "$out" "$raw" "$w" "$h" vflip)
    check "$size: upside-down reference scores $flipped dB < $bound" at_least "$bound" "${flipped:-0}"
    late=$(psnr_y "$out" "$raw" "$w" "$h" "trim=start_frame=1")
    check "$size: reference one frame late scores $late dB < $bound" at_least "$bound" "${late:-0}"
done
finish
