#!/usr/bin/env bash
# The stream says which colours it carries: BT.709 for HD, BT.601 (SMPTE
# 170M) for SD, limited range; and BT.601 when the runtime refuses or changes
# VPP's colour buffer (the pixels are then BT.601, the runtime's default).
. "$(dirname "$0")/lib.sh"
settings=$TARVO_WORK/settings.bin
make_settings "$settings"

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
done <<'CASES'
1280x720 - tv bt709 bt709 bt709
720x480 - tv smpte170m smpte170m smpte170m
720x578 - tv bt709 bt709 bt709
1280x720 vpp_signal=-15 tv smpte170m smpte170m smpte170m
1920x1080 vpp_signal=5 tv smpte170m smpte170m smpte170m
CASES
finish
