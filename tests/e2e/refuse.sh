#!/usr/bin/env bash
# The trial set-up refuses: "Invalid encode parameter." exactly once, a
# failed export, no file, no audio asked for, nothing in the temporary folder.
# Run with a fault in the soft runtime's encoder set-up, and (label intel)
# against the real SDK: where an Intel adapter is present, the export runs
# instead.
. "$(dirname "$0")/lib.sh"
settings=$TARVO_WORK/settings.bin
make_settings "$settings"

refused() {  # description
    check "$1: export fails" [ "$rc" -eq 1 ]
    check "$1: message shown once" [ "$(message_count "Invalid encode parameter.")" = 1 ]
    check "$1: no output file" [ ! -e "$out" ]
    check "$1: no frame or audio asked for" [ "$(stat_of frames)/$(stat_of audio_calls)" = "0/0" ]
    check "$1: temporary folder empty" temp_is_empty
}

out=$TARVO_WORK/out/refused.mp4
if [ "${TARVO_E2E_SOFT:-0}" = 1 ]; then
    # An encoder set-up error, a set-up warning (which counts as a refusal
    # too), and no session at all.
    for fault in enc_init=-15 enc_init=5 init=-3; do
        MFXSOFT_FAULTS=$fault run_export --settings "$settings" --size 320x180 --frames 10 -o "$out"
        refused "fault $fault"
    done
elif intel_adapter_present; then
    out=$TARVO_WORK/out/intel.mp4
    run_export --settings "$settings" --size 320x180 --frames 10 -o "$out"
    check "Intel hardware: export succeeds" [ "$rc" -eq 0 ]
    check "Intel hardware: 10 frames in the file" [ "$(frame_count "$out")" = 10 ]
    check "Intel hardware: temporary folder empty" temp_is_empty
else
    run_export --settings "$settings" --size 320x180 --frames 10 -o "$out"
    refused "no Intel hardware"
fi
finish
