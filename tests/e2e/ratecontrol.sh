#!/usr/bin/env bash
# Rate-control modes per codec and runtime kind: a mode the runtime takes
# exports, and the log's settled line names the mode and its values; a mode
# it refuses or would change fails before the first frame with the cause
# line. Quality-targeted modes: a lower ICQ quality value gives a clearly
# larger file; QVBR keeps under its maximum rate where ICQ alone would not.
. "$(dirname "$0")/lib.sh"
export SVT_LOG=1  # SVT-AV1 prints its settings at every start otherwise
settings=$TARVO_WORK/settings.bin
out=$TARVO_WORK/out/mode.mp4
size=256x144 frames=30

# runtime | codec | settings | "ok: text of the settled line" or the cause line
while IFS='|' read -r runtime codec edits expected; do
    what="$runtime $codec $edits"
    rm -f "$out"
    # shellcheck disable=SC2086  # the edits are words on purpose
    make_settings "$settings" "codec=$codec" $edits
    MFXSOFT_RUNTIME=$runtime run_export --verbose --settings "$settings" --size $size --frames $frames --no-audio -o "$out"
    case $expected in
        ok:*)
            check "$what: export succeeds" [ "$rc" -eq 0 ]
            settled=$(sed -n 's/^tarvo: encoder settled: //p' "$TARVO_WORK/err")
            check "$what: settled '$settled' has '${expected#ok: }'" grep -qF -- "${expected#ok: }" <<<"$settled"
            check "$what: nothing changed" [ -z "$(grep -F "encoder changed:" "$TARVO_WORK/err")" ] ;;
        *)
            check "$what: export fails" [ "$rc" -eq 1 ]
            check "$what: the cause follows the message" \
                [ "$(grep -A1 -xF "Invalid encode parameter." "$TARVO_WORK/err" | sed -n 2p)" = "$expected" ]
            check "$what: no output file" [ ! -e "$out" ]
            check "$what: no frame asked for" [ "$(stat_of frames)" = 0 ] ;;
    esac
    check "$what: temporary folder empty" temp_is_empty
done <<'CASES'
msdk|h264|rateControl=AVBR targetKbps=900 avbrAccuracy=10 avbrConvergence=5|ok: rate control AVBR (4), target kbps 900, accuracy 10, convergence 5,
msdk|h264|rateControl=LA targetKbps=900 maxKbps=1200 lookAhead=20|ok: rate control LA (8), target kbps 900, max kbps 1200, look-ahead 20,
msdk|h264|rateControl=LA_ICQ quality=26 lookAhead=10|ok: rate control LA_ICQ (11), quality 26, look-ahead 10,
msdk|h264|rateControl=CQP qpI=22 qpP=24 qpB=26|ok: rate control CQP (3), QP I 22, QP P 24, QP B 26,
vpl|h264|rateControl=ICQ quality=23|ok: rate control ICQ (9), quality 23,
vpl|h264|rateControl=QVBR quality=23 targetKbps=800 maxKbps=1000|ok: rate control QVBR (14), quality 23, target kbps 800, max kbps 1000,
vpl|h264|rateControl=AVBR|AVBR is not supported for H.264 by this runtime (MFXVideoENCODE_Query answered MFX_ERR_UNSUPPORTED)
vpl|h264|rateControl=LA|LA is not supported for H.264 by this runtime (MFXVideoENCODE_Query answered MFX_ERR_UNSUPPORTED)
vpl|h264|rateControl=LA_ICQ quality=23|LA_ICQ is not supported for H.264 by this runtime (MFXVideoENCODE_Query answered MFX_ERR_UNSUPPORTED)
vpl|hevc|rateControl=ICQ quality=23|ok: rate control ICQ (9), quality 23,
vpl|hevc|rateControl=QVBR quality=23 targetKbps=800 maxKbps=1000|ok: rate control QVBR (14), quality 23,
vpl|hevc|rateControl=AVBR|AVBR is not supported for HEVC by this runtime; it would encode VBR (MFXVideoENCODE_Init answered MFX_WRN_INCOMPATIBLE_VIDEO_PARAM)
msdk|hevc|rateControl=AVBR|AVBR is not supported for HEVC by this runtime; it would encode VBR (MFXVideoENCODE_Init answered MFX_WRN_INCOMPATIBLE_VIDEO_PARAM)
msdk|hevc|rateControl=LA_ICQ quality=23|LA_ICQ is not supported for HEVC by this runtime (MFXVideoENCODE_Query answered MFX_ERR_UNSUPPORTED)
vpl|av1|rateControl=ICQ quality=23|ok: rate control ICQ (9), quality 23,
vpl|av1|rateControl=CQP qpI=100 qpP=110 qpB=120|ok: rate control CQP (3), QP I 100, QP P 110, QP B 120,
vpl|av1|rateControl=QVBR quality=23|QVBR is not supported for AV1 by this runtime (MFXVideoENCODE_Query answered MFX_ERR_UNSUPPORTED)
vpl|av1|rateControl=AVBR|AVBR is not supported for AV1 by this runtime; it would encode VBR (MFXVideoENCODE_Init answered MFX_WRN_INCOMPATIBLE_VIDEO_PARAM)
vpl|av1|rateControl=LA|LA is not supported for AV1 by this runtime (MFXVideoENCODE_Query answered MFX_ERR_UNSUPPORTED)
CASES

# ICQ: quality 18 against 40, per codec; then QVBR capped well below what
# ICQ at the same quality spends.
up_to() { [ "$1" -gt 0 ] && [ "$1" -le "$2" ]; }
kbps_of() { probe "$1" v:0 bit_rate | awk '{ printf "%d", $1 / 1000 }'; }
for codec in h264 hevc av1; do
    for quality in 18 40; do
        make_settings "$settings" "codec=$codec" rateControl=ICQ "quality=$quality"
        MFXSOFT_RUNTIME=vpl run_export --settings "$settings" --size 320x180 --frames $frames --no-audio \
            -o "$TARVO_WORK/out/icq-$codec-$quality.mp4"
        check "$codec ICQ $quality: export succeeds" [ "$rc" -eq 0 ]
    done
    small=$(stat -c %s "$TARVO_WORK/out/icq-$codec-40.mp4") large=$(stat -c %s "$TARVO_WORK/out/icq-$codec-18.mp4")
    check "$codec ICQ: quality 18 gives $large bytes, over twice quality 40's $small" [ "$large" -gt $((2 * small)) ]
    [ "$codec" = av1 ] && continue  # no QVBR for AV1
    icq=$(kbps_of "$TARVO_WORK/out/icq-$codec-18.mp4")
    cap=$((icq / 3))  # the first frames fill the buffer: half of ICQ's rate is the bound
    make_settings "$settings" "codec=$codec" rateControl=QVBR quality=18 "targetKbps=$((cap * 3 / 4))" "maxKbps=$cap"
    MFXSOFT_RUNTIME=vpl run_export --settings "$settings" --size 320x180 --frames $frames --no-audio \
        -o "$TARVO_WORK/out/qvbr-$codec.mp4"
    check "$codec QVBR: export succeeds" [ "$rc" -eq 0 ]
    qvbr=$(kbps_of "$TARVO_WORK/out/qvbr-$codec.mp4")
    check "$codec QVBR 18 capped at $cap kbps: $qvbr kbps (ICQ 18: $icq kbps)" up_to "${qvbr:-0}" $((icq / 2))
done
finish
