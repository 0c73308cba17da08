#!/usr/bin/env bash
# The GOP structure and constant QP as set, per codec, read back from the
# MP4: a keyframe exactly every gopLength frames, no B-frames with bFrames=0
# and some with 2; a constant QP of 18 gives a clearly larger file than 40
# (AV1's QPs are quantizer indices: 60 against 200).
. "$(dirname "$0")/lib.sh"
export SVT_LOG=1  # SVT-AV1 prints its settings at every start otherwise
settings=$TARVO_WORK/settings.bin
frames=30

# "I P P B ..." in presentation order, and the frames that are keyframes.
picture_types() { timeout -k 5 60 ffprobe -v error -select_streams v:0 -show_frames -show_entries frame=pict_type -of default=nw=1:nk=1 "$1" | grep -xE "[IPB]" | tr "\n" " "; }
keyframes() { timeout -k 5 60 ffprobe -v error -select_streams v:0 -show_frames -show_entries frame=key_frame -of default=nw=1:nk=1 "$1" | grep -xE "[01]" | grep -nx 1 | cut -d: -f1 | awk '{ printf "%d ", $1 - 1 }'; }
size_of() { stat -c %s "$1"; }

while read -r codec gop bframes keys btypes; do
    what="$codec gopLength=$gop bFrames=$bframes"
    out=$TARVO_WORK/out/gop-$codec-$gop-$bframes.mp4
    make_settings "$settings" "codec=$codec" "gopLength=$gop" "bFrames=$bframes"
    MFXSOFT_RUNTIME=vpl run_export --settings "$settings" --size 256x144 --frames "$frames" --no-audio -o "$out"
    check "$what: export succeeds" [ "$rc" -eq 0 ]
    got=$(keyframes "$out")
    check "$what: keyframes at '$got'" [ "$got" = "${keys//,/ } " ]
    types=$(picture_types "$out")
    case $btypes in
        none) check "$what: no B-frames in '$types'" [ "${types//B/}" = "$types" ] ;;
        some) check "$what: B-frames in '$types'" [ "${types//B/}" != "$types" ] ;;
    esac
done <<'CASES'
h264 10 0 0,10,20 none
h264 15 2 0,15 some
hevc 10 0 0,10,20 none
hevc 15 2 0,15 some
av1 10 0 0,10,20 none
CASES

while read -r codec low high; do
    for qp in "$low" "$high"; do
        make_settings "$settings" "codec=$codec" rateControl=CQP "qpI=$qp" "qpP=$qp" "qpB=$qp"
        MFXSOFT_RUNTIME=vpl run_export --settings "$settings" --size 256x144 --frames "$frames" --no-audio \
            -o "$TARVO_WORK/out/cqp-$codec-$qp.mp4"
        check "$codec CQP $qp: export succeeds" [ "$rc" -eq 0 ]
    done
    small=$(size_of "$TARVO_WORK/out/cqp-$codec-$high.mp4") large=$(size_of "$TARVO_WORK/out/cqp-$codec-$low.mp4")
    check "$codec CQP: QP $low gives $large bytes, over twice QP $high's $small" [ "$large" -gt $((2 * small)) ]
done <<'CASES'
h264 18 40
hevc 18 40
av1 60 200
CASES
finish
