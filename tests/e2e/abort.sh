#!/usr/bin/env bash
# A cancel is honoured at every stage within a second and leaves nothing: no
# MP4, no temporary file, no program running (the programs' own children
# included). It is no failure: no message, and tarvo-host exits 4.
. "$(dirname "$0")/lib.sh"
settings=$TARVO_WORK/settings.bin
bin=$TARVO_WORK/bin
mkdir -p "$bin"
pids=$TARVO_WORK/hang.pids
# A program that hangs, and has started a child that hangs too.
printf '#!/bin/sh\nsleep 60 &\necho $$ $! >>"%s"\nwait\n' "$pids" >"$bin/hang"
chmod +x "$bin/hang"

cancelled() {  # description
    check "$1: tarvo-host says cancelled (exit 4)" [ "$rc" -eq 4 ]
    check "$1: the plug-in says nothing" [ -z "$(plugin_messages)" ]
    check "$1: no MP4" [ ! -e "$out" ]
    check "$1: temporary folder empty" temp_is_empty
}
quick() { check "$1: ended within 2 s of the cancel ($after s)" at_least 2 "$after"; }
none_left() {  # description
    sleep 0.3
    local alive=0 p
    # A zombie has ended; only its parent (here: whoever adopts it) is late.
    for p in $(cat "$pids" 2>/dev/null); do
        case "$(ps -o stat= -p "$p" 2>/dev/null)" in "" | Z*) ;; *) alive=$((alive + 1)) ;; esac
    done
    check "$1: the program and its child were started" [ "$(wc -w <"$pids")" = 2 ]
    check "$1: neither is left running" [ "$alive" = 0 ]
    rm -f "$pids"
}

out=$TARVO_WORK/out/cancel.mp4
make_settings "$settings"
# While the WAV file is written: ten hours of audio, cancelled once it is
# being written.
cancel_export INT wav --settings "$settings" --size 64x64 --rate 10 --frames 360000 --audio-rate 8000 \
    --channels 1 -o "$out"
cancelled "WAV stage (Ctrl-C)"; quick "WAV stage"
check "WAV stage: the audio was not written whole" [ "$(stat_of audio_samples)" -lt 288000000 ]
check "WAV stage: no picture asked for" [ "$(stat_of frames)" = 0 ]

# During the video: the host's cancel button after 10 frames.
run_export --settings "$settings" --size 320x180 --frames 60 --abort-after 10 -o "$out"
cancelled "video stage"
check "video stage: no frame asked for after the cancel" [ "$(stat_of frames)" = 10 ]

# While the AAC encoder and the muxer are waited for: they hang.
make_settings "$settings" "aacEncoderPath=$bin/hang"
cancel_export TERM 2 --settings "$settings" --size 176x144 --frames 10 -o "$out"
cancelled "AAC encoder wait (SIGTERM)"; quick "AAC encoder wait"; none_left "AAC encoder wait"
make_settings "$settings" "muxerPath=$bin/hang"
cancel_export HUP "file:$pids" --settings "$settings" --size 176x144 --frames 10 -o "$out"
cancelled "muxer wait (SIGHUP)"; quick "muxer wait"; none_left "muxer wait"

# A runtime that answers "busy" for ever does not make the export deaf.
make_settings "$settings"
for fault in enc_run=2 vpp_run=2; do
    MFXSOFT_FAULTS=$fault run_export --settings "$settings" --size 176x144 --frames 30 --abort-after 3 -o "$out"
    cancelled "busy runtime ($fault)"
done

# No frames at all: the muxer refuses the empty stream, a failure.
out=$TARVO_WORK/out/zero.mp4
run_export --settings "$settings" --size 320x180 --frames 0 -o "$out"
check "zero frames: no picture asked for" [ "$(stat_of frames)" = 0 ]
check "zero frames: export fails" [ "$rc" -eq 1 ]
check "zero frames: one message" [ "$(plugin_messages | wc -l)" = 1 ]
check "zero frames: no file" [ ! -e "$out" ]
check "zero frames: temporary folder empty" temp_is_empty
finish
