#!/usr/bin/env bash
# The trial set-up refuses: "Invalid encode parameter." exactly once, then
# one line with the cause (the setting to blame, the SDK call and its answer),
# a failed export, no file, no audio asked for, nothing in the temporary
# folder. Run with faults and settings the soft runtime refuses, and (label
# intel) against the real SDK: where an Intel adapter is present, the export
# runs instead.
. "$(dirname "$0")/lib.sh"
settings=$TARVO_WORK/settings.bin

refused() {  # description, cause line
    check "$1: export fails" [ "$rc" -eq 1 ]
    check "$1: message shown once" [ "$(message_count "Invalid encode parameter.")" = 1 ]
    check "$1: the cause follows it" [ "$(grep -A1 -xF "Invalid encode parameter." "$TARVO_WORK/err" | sed -n 2p)" = "$2" ]
    check "$1: no output file" [ ! -e "$out" ]
    check "$1: no frame or audio asked for" [ "$(stat_of frames)/$(stat_of audio_calls)" = "0/0" ]
    check "$1: temporary folder empty" temp_is_empty
}

# Puts a 32-bit little-endian value at a byte offset of the settings block:
# values no list of the dialog holds, as a damaged or foreign block has them.
poke() {  # offset, value
    local v=$2
    printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((v & 255)) $((v >> 8 & 255)) $((v >> 16 & 255)) $((v >> 24 & 255)))" |
        dd of="$settings" bs=1 seek="$1" conv=notrunc status=none
}

out=$TARVO_WORK/out/refused.mp4
if [ "${TARVO_E2E_SOFT:-0}" = 1 ]; then
    # fault | settings | export arguments | cause line
    while IFS='|' read -r fault edits arguments cause; do
        make_settings "$settings"
        for edit in $edits; do
            case $edit in
                @*) offset=${edit%%=*}; poke "${offset#@}" "${edit#*=}" ;;
                *) "$TARVO_HOST" settings set "$settings" "$edit" ;;
            esac
        done
        # shellcheck disable=SC2086  # the arguments are words on purpose
        MFXSOFT_FAULTS=$fault run_export --settings "$settings" $arguments --frames 10 -o "$out"
        refused "${fault:-no fault} ${edits} ${arguments}" "$cause"
    done <<EOF_TABLE
enc_init=-15||--size 320x180|MFXVideoENCODE_Init answered MFX_ERR_INVALID_VIDEO_PARAM
enc_init=5||--size 320x180|MFXVideoENCODE_Init answered MFX_WRN_INCOMPATIBLE_VIDEO_PARAM
init=-3||--size 320x180|MFXInit answered MFX_ERR_UNSUPPORTED for HARDWARE
init=-17||--size 320x180|MFXInit answered MFX_ERR_DEVICE_FAILED for HARDWARE
|hardwareImpl=5|--size 320x180|MFXInit answered MFX_ERR_UNSUPPORTED for HARDWARE2
vpp_query=-15||--size 320x180|MFXVideoVPP_QueryIOSurf answered MFX_ERR_INVALID_VIDEO_PARAM
|codecLevel=4|--size 3840x2160|Level 4 is too low for 3840x2160 at 30 fps and 1400 kbps; the lowest level that fits is 5.1 (MFXVideoENCODE_Init answered MFX_WRN_INCOMPATIBLE_VIDEO_PARAM)
|codecLevel=4 targetKbps=20001 maxKbps=20001|--size 320x180|Level 4 is too low for 320x180 at 30 fps and 20001 kbps; the lowest level that fits is 4.1 (MFXVideoENCODE_Init answered MFX_WRN_INCOMPATIBLE_VIDEO_PARAM)
||--size 8192x4320|No H.264 level holds 8192x4320 at 30 fps and 1400 kbps (MFXVideoENCODE_Query answered MFX_ERR_UNSUPPORTED)
||--size 320x180 --rate 1000000|No H.264 level holds 320x180 at 1000000 fps and 1400 kbps (MFXVideoENCODE_Query answered MFX_ERR_UNSUPPORTED)
|targetKbps=0 maxKbps=0|--size 320x180|targetKbps 0 is below 1 kbps (MFXVideoENCODE_Query answered MFX_ERR_UNSUPPORTED)
|@8=65536|--size 320x180|codecProfile 65536 is not an H.264 profile (Baseline 66, Main 77, High 100)
|@12=65577|--size 320x180|codecLevel 65577 is not an H.264 level (auto, 1 to 5.2)
|@16=9|--size 320x180|targetUsage 9 is not 1 (quality) to 7 (speed)
|@20=7|--size 320x180|rateControl 7 is not a rate control (CBR 1, VBR 2, CQP 3, AVBR 4, LA 8, ICQ 9, LA_ICQ 11, QVBR 14)
|rateControl=CQP @828=0|--size 320x180|qpI 0 is outside 1 to 51 for H.264
|rateControl=ICQ @840=52|--size 320x180|quality 52 is outside 1 to 51
|rateControl=LA @844=5|--size 320x180|lookAheadDepth 5 is outside 10 to 100 (or 0, the runtime's choice)
|@856=65536|--size 320x180|gopLength 65536 is outside 1 to 65535 (or 0, the runtime's choice)
|@860=-1|--size 320x180|gopRefDist -1 is outside 1 to 65535 (or 0, the runtime's choice)
|@864=65536|--size 320x180|idrInterval 65536 is outside 1 to 65535 (or 0: every I-frame an IDR frame)
|codec=hevc @864=-2|--size 320x180|idrInterval -2 is outside 1 to 65535 (or 0: only the first I-frame an IDR frame)
|rateControl=AVBR @852=70000|--size 320x180|avbrConvergence 70000 is outside 1 to 65535 (or 0, the runtime's choice)
|codec=hevc rateControl=LA|--size 320x180|LA is not supported for HEVC by this runtime (MFXVideoENCODE_Query answered MFX_ERR_UNSUPPORTED)
|codec=av1|--size 320x180|This runtime does not encode AV1 Main in 8 bits; AV1 needs an Intel Arc, Core Ultra (Meteor Lake) or newer GPU and its VPL GPU runtime (MFXVideoENCODE_Query answered MFX_ERR_UNSUPPORTED)
|codec=hevc codecLevel=4|--size 3840x2160|Level 4 is too low for 3840x2160 at 30 fps and 1400 kbps; the lowest level that fits is 5 (MFXVideoENCODE_Init answered MFX_WRN_INCOMPATIBLE_VIDEO_PARAM)
|codec=hevc @8=2|--size 320x180|HEVC Main10 is 10-bit; 8-bit HEVC needs Main
|codec=hevc @824=12|--size 320x180|bitDepth 12 is not 8 or 10
|codec=hevc @12=9|--size 320x180|codecLevel 9 is not an HEVC level (auto, 1 to 6.2)
|@820=0|--size 320x180|codec 0 is not one this build encodes (H.264, HEVC, AV1)
|@820=540627030|--size 320x180|codec VP9 (0x20395056) is not one this build encodes (H.264, HEVC, AV1)
|@824=10|--size 320x180|bitDepth 10: H.264 is encoded in 8 bits only (no Intel GPU encodes 10-bit H.264)
EOF_TABLE
elif intel_adapter_present; then
    make_settings "$settings"
    out=$TARVO_WORK/out/intel.mp4
    run_export --settings "$settings" --size 320x180 --frames 10 -o "$out"
    check "Intel hardware: export succeeds" [ "$rc" -eq 0 ]
    check "Intel hardware: 10 frames in the file" [ "$(frame_count "$out")" = 10 ]
    check "Intel hardware: temporary folder empty" temp_is_empty
else
    make_settings "$settings"
    run_export --settings "$settings" --size 320x180 --frames 10 -o "$out"
    refused "no Intel hardware" "MFXInit answered MFX_ERR_UNSUPPORTED for HARDWARE"
fi
finish
