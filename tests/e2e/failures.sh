#!/usr/bin/env bash
# Failures a user can trust: found before the first frame where they can be,
# told in exactly one line that names the cause, no muxer after a failed
# video or AAC encoder, and no new file at the output path (a file that was
# there stays as it was). Warnings of the runtime lose no frame; bit rates
# above 65535 kbps reach the encoder whole.
. "$(dirname "$0")/lib.sh"
settings=$TARVO_WORK/settings.bin
bin=$TARVO_WORK/bin
mkdir -p "$bin"
printf '#!/bin/sh\nexit 3\n' >"$bin/failing"
chmod +x "$bin/failing"

one_message() {  # description, text the message starts with
    local lines; lines=$(plugin_messages)
    check "$1: exactly one message" [ "$(printf '%s' "$lines" | grep -c .)" = 1 ]
    check "$1: it names the cause" grep -qF -- "$2" <<<"$lines"
}

# Failures late in the job: nothing at the output path, a file that was there
# untouched, the muxer never started.
late_failure() {  # description, message, settings edits... (MFXSOFT_FAULTS from the caller)
    local what=$1 message=$2; shift 2
    make_settings "$settings" "$@"
    local stand_in; stand_in=$(sed -n 's/^muxerPath *= //p' <<<"$("$TARVO_HOST" settings show "$settings")")
    printf '#!/bin/sh\ntouch "%s"\nexec "%s" "$@"\n' "$TARVO_WORK/muxer-ran" "$stand_in" >"$bin/noting-muxer"
    chmod +x "$bin/noting-muxer"
    "$TARVO_HOST" settings set "$settings" "muxerPath=$bin/noting-muxer"
    for before in none old; do
        rm -f "$out" "$TARVO_WORK/muxer-ran"
        [ "$before" = old ] && echo "the user's old file" >"$out"
        run_export --settings "$settings" --size 176x144 --frames 30 -o "$out"
        check "$what ($before): export fails" [ "$rc" -eq 1 ]
        one_message "$what ($before)" "$message"
        check "$what ($before): the muxer did not run" [ ! -e "$TARVO_WORK/muxer-ran" ]
        if [ "$before" = old ]; then
            check "$what: the old file stays as it was" [ "$(cat "$out")" = "the user's old file" ]
        else
            check "$what: no file at the output path" [ ! -e "$out" ]
        fi
        check "$what ($before): temporary folder empty" temp_is_empty
    done
}
out=$TARVO_WORK/out/late.mp4
MFXSOFT_FAULTS=enc_run=-17@5 late_failure "encoder error at frame 5" \
    "Video encoding failed: MFX_ERR_DEVICE_FAILED"
late_failure "AAC encoder fails" "AAC encoder failed (exit code 3): $bin/failing" "aacEncoderPath=$bin/failing"

rm -f "$out"
# Found before the first frame: nothing asked of the host.
early_failure() {  # description, message, output path, settings edits...
    local what=$1 message=$2 target=$3; shift 3
    make_settings "$settings" "$@"
    # shellcheck disable=SC2086  # extra_args: words on purpose
    run_export --settings "$settings" --size 176x144 --frames 30 ${extra_args:-} -o "$target"
    check "$what: export fails" [ "$rc" -eq 1 ]
    one_message "$what" "$message"
    check "$what: no frame or audio asked for" [ "$(stat_of frames)/$(stat_of audio_calls)" = "0/0" ]
    check "$what: nothing written" nothing_at "$target"
    check "$what: temporary folder empty" temp_is_empty
}
# No file at $1: nothing, or a folder that stayed empty.
nothing_at() { [ ! -e "$1" ] || { [ -d "$1" ] && [ -z "$(ls -A "$1")" ]; }; }
early_failure "missing muxer" "MP4 muxer not found: $bin/missing" "$out" "muxerPath=$bin/missing"
early_failure "muxer is a folder" "MP4 muxer is not a program: $bin" "$out" "muxerPath=$bin"
check "muxer is a folder: tarvo-host does not call it usable" grep -qF "'$bin' is missing or not an executable file" \
    "$TARVO_WORK/err"
early_failure "a double quote in the output path" "Output path cannot be put on the MP4 muxer's command line" \
    "$TARVO_WORK/out/a\"b.mp4"
early_failure "temporary folder missing" "Cannot create a temporary file in $TARVO_WORK/missing" "$out" \
    "tempFolder=$TARVO_WORK/missing"
early_failure "output folder missing" "Cannot create a file in the output folder of $TARVO_WORK/gone/a.mp4" \
    "$TARVO_WORK/gone/a.mp4"
mkdir -p "$TARVO_WORK/out/folder.mp4"
early_failure "output path is a folder" "Output path is a folder: $TARVO_WORK/out/folder.mp4" \
    "$TARVO_WORK/out/folder.mp4/"
rmdir "$TARVO_WORK/out/folder.mp4"
extra_args="--frames 0" early_failure "no frames" "Nothing to export: the job has no frames." "$out"
extra_args="--audio-rate 10000" early_failure "audio rate AAC cannot take" "Audio rate 10000 Hz cannot be encoded as AAC" \
    "$out"
mkdir -p "$TARVO_WORK/sys\"quoted"
TMPDIR="$TARVO_WORK/sys\"quoted" early_failure "system temporary folder with a double quote" \
    "Temporary folder cannot be put on a command line (it holds a double quote)" "$out" "tempFolder="

# A sync that answers "still in execution" is asked again: no frame lost.
make_settings "$settings"
out=$TARVO_WORK/out/sync.mp4
MFXSOFT_FAULTS=enc_sync=1@5,vpp_sync=1@3 run_export --settings "$settings" --size 176x144 --frames 30 -o "$out"
check "sync in execution: export succeeds" [ "$rc" -eq 0 ]
check "sync in execution: 30 of 30 frames in the file" [ "$(frame_count "$out")" = 30 ]

# 80000 kbps reaches the encoder as 80000, not as its low 16 bits (14464);
# x264 writes the rates it was given into the stream.
make_settings "$settings" targetKbps=80000 maxKbps=99999 codecLevel=5.2
out=$TARVO_WORK/out/rate.mp4
run_export --settings "$settings" --size 176x144 --frames 10 --no-audio -o "$out"
check "80000 kbps: export succeeds" [ "$rc" -eq 0 ]
check "80000 kbps: the encoder's target" grep -qa "bitrate=80000 " "$out"
check "80000 kbps: the encoder's peak (99999 in units of 2)" grep -qa "vbv_maxrate=99998 " "$out"

# The stand-in muxer removes only what it created: a failure after it opened
# an existing file leaves that file where it was.
muxer=$(sed -n 's/^muxerPath *= //p' <<<"$("$TARVO_HOST" settings show "$settings")")
echo "keep" >"$TARVO_WORK/out/existing.mp4"
timeout -k 5 60 "$muxer" -add "$TARVO_WORK/missing.h264#video:fps=25" -new "$TARVO_WORK/out/existing.mp4" 2>/dev/null
check "mp4box-compat fails on a missing stream" [ $? -ne 0 ]
check "mp4box-compat leaves a file it did not create" [ -e "$TARVO_WORK/out/existing.mp4" ]
timeout -k 5 60 "$muxer" -add "$TARVO_WORK/missing.h264#video:fps=25" -new "$TARVO_WORK/out/fresh.mp4" 2>/dev/null
check "mp4box-compat removes the file it created" [ ! -e "$TARVO_WORK/out/fresh.mp4" ]
finish
