#!/usr/bin/env bash
# The external programs missing or failing: a failed export, said plainly,
# with no temporary file and no MP4 left behind.
. "$(dirname "$0")/lib.sh"
settings=$TARVO_WORK/settings.bin
bin=$TARVO_WORK/bin
mkdir -p "$bin"
printf '#!/bin/sh\nexit 3\n' >"$bin/failing"
printf '#!/bin/sh\nexit 0\n' >"$bin/idle"   # ends "well" but writes nothing
chmod +x "$bin/failing" "$bin/idle"

failed() {  # description, cause the host should name (or "")
    check "$1: export fails" [ "$rc" -eq 1 ]
    check "$1: the host says so" grep -q "the export failed" "$TARVO_WORK/err"
    [ -z "$2" ] || check "$1: the host names the cause" grep -qF "$2" "$TARVO_WORK/err"
    check "$1: no MP4 left" [ ! -e "$out" ]
    check "$1: temporary folder empty" temp_is_empty
    check "$1: no parameter message" [ "$(message_count "Invalid encode parameter.")" = 0 ]
}

out=$TARVO_WORK/out/none.mp4
make_settings "$settings" "muxerPath=$bin/missing"
run_export --settings "$settings" --size 176x144 --frames 10 -o "$out"
failed "missing muxer" "the muxer '$bin/missing' is missing"

make_settings "$settings" "aacEncoderPath=$bin/missing"
run_export --settings "$settings" --size 176x144 --frames 10 -o "$out"
failed "missing AAC encoder" "the AAC encoder '$bin/missing' is missing"
check "missing AAC encoder: no frame asked for" [ "$(stat_of frames)" = 0 ]

make_settings "$settings" "aacEncoderPath="
run_export --settings "$settings" --size 176x144 --frames 10 -o "$out"
failed "empty AAC encoder path" ""

make_settings "$settings" "muxerPath=$bin/failing"
run_export --settings "$settings" --size 176x144 --frames 10 -o "$out"
failed "muxer exits with an error" ""

make_settings "$settings" "muxerPath=$bin/idle"
run_export --settings "$settings" --size 176x144 --frames 10 -o "$out"
failed "muxer writes nothing" ""

make_settings "$settings" "aacEncoderPath=$bin/failing"
run_export --settings "$settings" --size 176x144 --frames 10 -o "$out"
check "AAC encoder exits with an error: export fails" [ "$rc" -eq 1 ]
check "AAC encoder exits with an error: temporary folder empty" temp_is_empty

# Without audio the AAC encoder is never needed.
make_settings "$settings" "aacEncoderPath=$bin/missing"
run_export --settings "$settings" --size 176x144 --frames 10 --no-audio -o "$out"
check "no audio, no AAC encoder needed" [ "$rc" -eq 0 ]
check "no audio: temporary folder empty" temp_is_empty
finish
