#!/usr/bin/env bash
# The stream says which colours it carries: BT.709 for HD, BT.601 (SMPTE
# 170M) for SD, limited range; and BT.601 when the runtime refuses or changes
# VPP's colour buffer (the pixels are then BT.601, the runtime's default).
# The MP4 says the same in its nclx colr box (primaries, transfer, matrix,
# full-range flag), read back from FFmpeg's MP4 reader. When the encoder
# refuses its colour buffer the stream says nothing, and then neither does
# the MP4: the muxers take the colours from the stream only.
. "$(dirname "$0")/lib.sh"
settings=$TARVO_WORK/settings.bin
make_settings "$settings"

# The colr box as FFmpeg's MP4 reader parsed it: "PRI TRC MATRIX FULL".
colr() { timeout -k 5 60 ffprobe -v trace "$1" 2>&1 | sed -n 's/.*nclx: pri \([0-9]*\) trc \([0-9]*\) matrix \([0-9]*\) full \([0-9]*\).*/\1 \2 \3 \4/p' | head -1; }
# H.264 code points of the ffprobe names the tags use.
codes() { case "$1" in "tv bt709 bt709 bt709") echo "1 1 1 0" ;; "tv smpte170m smpte170m smpte170m") echo "6 6 6 0" ;; *) echo "" ;; esac; }

tags() { probe "$1" v:0 color_range,color_space,color_transfer,color_primaries | tr '\n' ' ' | sed 's/ $//'; }

while read -r size faults expected; do
    out=$TARVO_WORK/out/colour-$size-${faults//[^a-z0-9]/_}.mp4
    if [ "$faults" = - ]; then
        run_export --settings "$settings" --size "$size" --frames 3 --no-audio -o "$out"
    else
        MFXSOFT_FAULTS=$faults run_export --settings "$settings" --size "$size" --frames 3 --no-audio -o "$out"
    fi
    check "$size ($faults): export succeeds" [ "$rc" -eq 0 ]
    got=$(tags "$out")
    check "$size ($faults): tags '$got' are '$expected'" [ "$got" = "$expected" ]
    box=$(colr "$out")
    want=$(codes "$expected")
    check "$size ($faults): colr '$box' is '$want'" [ "$box" = "$want" ]
done <<'CASES'
1280x720 - tv bt709 bt709 bt709
720x480 - tv smpte170m smpte170m smpte170m
720x578 - tv bt709 bt709 bt709
1280x720 vpp_signal=-15 tv smpte170m smpte170m smpte170m
1920x1080 vpp_signal=5 tv smpte170m smpte170m smpte170m
1920x1080 - tv bt709 bt709 bt709
640x480 - tv smpte170m smpte170m smpte170m
1920x1080 enc_signal=-15 unknown unknown unknown unknown
CASES
finish
