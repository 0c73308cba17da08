#!/usr/bin/env bash
# A user abort ends the video early and is still a success: the MP4 holds
# the frames delivered before it and the whole audio. A job of no frames.
. "$(dirname "$0")/lib.sh"
settings=$TARVO_WORK/settings.bin
make_settings "$settings"

out=$TARVO_WORK/out/abort.mp4
run_export --settings "$settings" --size 320x180 --frames 60 --abort-after 10 -o "$out"
check "aborted export succeeds" [ "$rc" -eq 0 ]
check "10 frames delivered" [ "$(stat_of frames)" = 10 ]
check "10 frames in the file" [ "$(frame_count "$out")" = 10 ]
check "the whole audio asked for" [ "$(stat_of audio_samples)" = 96000 ]
check "the whole audio in the file (2 s)" near "$(duration_of "$out" a:0)" 2.0 0.05
check "temporary folder empty after abort" temp_is_empty

# No frames at all: the host is never asked for a picture, and as an MP4
# without a picture is of no use the muxer refuses the empty stream: a failed
# export, said so, nothing left behind.
out=$TARVO_WORK/out/zero.mp4
run_export --settings "$settings" --size 320x180 --frames 0 -o "$out"
check "zero frames: no picture asked for" [ "$(stat_of frames)/$(stat_of progress_calls)/$(stat_of abort_polls)" = "0/0/0" ]
check "zero frames: export fails" [ "$rc" -eq 1 ]
check "zero frames: the host says so" grep -q "the export failed" "$TARVO_WORK/err"
check "zero frames: no file" [ ! -e "$out" ]
check "zero frames: temporary folder empty" temp_is_empty

# An abort before the first frame is the same empty video.
out=$TARVO_WORK/out/abort0.mp4
run_export --settings "$settings" --size 320x180 --frames 30 --abort-after 0 -o "$out"
check "abort at once: no picture asked for" [ "$(stat_of frames)" = 0 ]
check "abort at once: export fails" [ "$rc" -eq 1 ]
check "abort at once: no file" [ ! -e "$out" ]
check "abort at once: temporary folder empty" temp_is_empty
finish
