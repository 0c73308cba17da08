#!/usr/bin/env bash
# The soft runtime's null encoder (MFXSOFT_ENCODER=null, the encoder of the
# Windows builds) through the whole export: the MP4 read back says the codec,
# profile, pixel format, frame count, frame rate, duration and colour tags
# asked for; every stream decodes without a message; H.264 and HEVC intra
# pictures (stored as PCM) are the host's pictures as the runtime converted
# them (AV1's frames are grey key frames).
. "$(dirname "$0")/lib.sh"
settings=$TARVO_WORK/settings.bin
export MFXSOFT_ENCODER=null
rate=30000/1001 frames=24 gop=6
bound=50  # the runtime's RGB to YUV conversion against FFmpeg's, luma only

while read -r codec depth runtime size name profile format colour; do
    what="null $codec $depth-bit ($runtime, $size)"
    w=${size%x*} h=${size#*x}
    out=$TARVO_WORK/out/$codec-$depth-$size.mp4 raw=$TARVO_WORK/out/$codec-$depth-$size.bgr
    # AV1's distance between anchors is a mini-GOP of 4.
    make_settings "$settings" "codec=$codec" "bitDepth=$depth" "gopLength=$gop" "bFrames=$([ "$codec" = av1 ] && echo 3 || echo 2)"
    MFXSOFT_RUNTIME=$runtime run_export --settings "$settings" --size "$size" --rate "$rate" --frames "$frames" \
        -o "$out"
    check "$what: export succeeds" [ "$rc" -eq 0 ]
    got=$(probe "$out" v:0 codec_name,profile,pix_fmt | tr '\n' ' ')
    check "$what: '$got' is '$name $profile $format '" [ "$got" = "$name ${profile//_/ } $format " ]
    packets=$(timeout -k 5 60 ffprobe -v error -count_packets -select_streams v:0 \
        -show_entries stream=nb_read_packets -of csv=p=0 "$out")
    check "$what: $frames samples" [ "$packets" = "$frames" ]
    check "$what: $rate fps" [ "$(frame_rate "$out")" = "$rate" ]
    duration=$(duration_of "$out" v:0)
    check "$what: video lasts $duration s" near "${duration:-0}" 0.8008 0.0001
    tags=$(probe "$out" v:0 color_range,color_space,color_transfer,color_primaries | tr '\n' ' ')
    check "$what: colour tags '$tags'" [ "$tags" = "tv $colour $colour $colour " ]
    messages=$(timeout -k 5 120 ffmpeg -nostdin -v error -i "$out" -f null - 2>&1)
    check "$what: FFmpeg decodes it without a message${messages:+: $messages}" [ -z "$messages" ]
    check "$what: $frames frames decoded" [ "$(frame_count "$out")" = "$frames" ]
    [ "$codec" = av1 ] && continue  # grey key frames
    types=$(timeout -k 5 60 ffprobe -v error -select_streams v:0 -show_entries frame=pict_type -of csv=p=0 "$out" |
        tr -d ',\n')
    check "$what: an intra picture every $gop ('$types')" [ "${types//[PB]/-}" = "I-----I-----I-----I-----" ]
    # The intra pictures against the host's frames 0, 6, 12, 18 converted alike.
    timeout -k 5 60 "$TARVO_HOST" frames --size "$size" --rate "$rate" --frames "$frames" -o "$raw"
    matrix=$([ "$colour" = bt709 ] && echo bt709 || echo bt601)
    psnr=$(timeout -k 5 120 ffmpeg -nostdin -v info -i "$out" \
        -f rawvideo -pix_fmt bgr24 -s "$size" -framerate 30000/1001 -i "$raw" -filter_complex \
        "[0:v]select='eq(pict_type\,I)',settb=1/30,setpts=N,format=gray,crop=$w:$h:0:0[a];[1:v]select='not(mod(n\,$gop))',settb=1/30,setpts=N,scale=out_color_matrix=$matrix,format=gray[b];[a][b]psnr" \
        -f null - 2>&1 | sed -n 's/.*PSNR.* min:\([0-9.inf]*\).*/\1/p' | tail -n1)
    [ "$psnr" = inf ] && psnr=99
    check "$what: intra pictures' worst luma PSNR $psnr dB >= $bound" at_least "${psnr:-0}" "$bound"
done <<'CASES'
h264 8 msdk 640x360 h264 Main yuv420p smpte170m
hevc 8 msdk 640x360 hevc Main yuv420p smpte170m
hevc 10 vpl 1280x720 hevc Main_10 yuv420p10le bt709
av1 8 vpl 640x360 av1 Main yuv420p smpte170m
av1 10 vpl 1280x720 av1 Main yuv420p10le bt709
CASES
finish
