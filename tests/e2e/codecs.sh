#!/usr/bin/env bash
# Every codec at every bit depth it has, through the whole export: the MP4
# read back says the codec, its sample entry, profile, pixel format, frame
# count, frame rate, duration and colour tags the settings asked for, and
# the pictures are the host's (luma PSNR against the frames it supplied).
# AV1 runs under the VPL GPU runtime's personality: the Media SDK runtime
# refuses it.
. "$(dirname "$0")/lib.sh"
settings=$TARVO_WORK/settings.bin
bound=40
# SVT-AV1 prints its settings at every start otherwise.
export SVT_LOG=1
rate=30000/1001 frames=24

while read -r codec depth runtime size name profile tag format colour; do
    what="$codec $depth-bit ($runtime, $size)"
    w=${size%x*} h=${size#*x}
    out=$TARVO_WORK/out/$codec-$depth-$size.mp4 raw=$TARVO_WORK/out/$codec-$depth-$size.bgr
    make_settings "$settings" "codec=$codec" "bitDepth=$depth"
    MFXSOFT_RUNTIME=$runtime run_export --settings "$settings" --size "$size" --rate "$rate" --frames "$frames" \
        -o "$out"
    check "$what: export succeeds" [ "$rc" -eq 0 ]
    got=$(probe "$out" v:0 codec_name,codec_tag_string,profile,pix_fmt | tr '\n' ' ')
    check "$what: '$got' is '$name $profile $tag $format '" [ "$got" = "$name ${profile//_/ } $tag $format " ]
    check "$what: $frames frames" [ "$(frame_count "$out")" = "$frames" ]
    check "$what: $rate fps" [ "$(frame_rate "$out")" = "$rate" ]
    duration=$(duration_of "$out" v:0)
    check "$what: video lasts $duration s" near "${duration:-0}" 0.8008 0.0001
    tags=$(probe "$out" v:0 color_range,color_space,color_transfer,color_primaries | tr '\n' ' ')
    check "$what: colour tags '$tags'" [ "$tags" = "tv $colour $colour $colour " ]
    check "$what: audio kept" [ "$(stream_types "$out")" = "video audio " ]
    check "$what: temporary folder empty" temp_is_empty
    timeout -k 5 60 "$TARVO_HOST" frames --size "$size" --rate "$rate" --frames "$frames" -o "$raw"
    # The reference's luma is BT.601's; HD pictures are BT.709, so they are
    # compared after the same conversion.
    psnr=$(psnr_y "$out" "$raw" "$w" "$h" "$([ "$colour" = bt709 ] && echo "scale=out_color_matrix=bt709" || echo null)")
    check "$what: worst luma PSNR $psnr dB >= $bound" at_least "${psnr:-0}" "$bound"
done <<'CASES'
h264 8 msdk 640x360 h264 Main avc1 yuv420p smpte170m
hevc 8 msdk 640x360 hevc Main hvc1 yuv420p smpte170m
hevc 10 msdk 640x360 hevc Main_10 hvc1 yuv420p10le smpte170m
hevc 10 vpl 1280x720 hevc Main_10 hvc1 yuv420p10le bt709
av1 8 vpl 640x360 av1 Main av01 yuv420p smpte170m
av1 10 vpl 1280x720 av1 Main av01 yuv420p10le bt709
CASES
finish
