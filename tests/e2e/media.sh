#!/usr/bin/env bash
# A media file as the project: its frames, rate and audio reach the MP4.
. "$(dirname "$0")/lib.sh"
settings=$TARVO_WORK/settings.bin
make_settings "$settings"

input=$TARVO_WORK/out/input.mkv
timeout -k 5 60 ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=322x180:rate=25:duration=2 \
    -f lavfi -i sine=frequency=330:sample_rate=44100:duration=2 -c:v ffv1 -c:a pcm_s16le "$input"

out=$TARVO_WORK/out/media.mp4
run_export --settings "$settings" "$input" -o "$out"
check "export of a media file succeeds" [ "$rc" -eq 0 ]
check "50 frames" [ "$(frame_count "$out")" = 50 ]
check "25 frames per second" [ "$(frame_rate "$out")" = "25/1" ]
check "44100 Hz mono audio" [ "$(probe "$out" a:0 sample_rate)/$(probe "$out" a:0 channels)" = "44100/1" ]
check "audio lasts 2 s within 50 ms" near "$(duration_of "$out" a:0)" 2.0 0.05
check "every frame once, in order" [ "$(stat_of frames)/$(stat_of frames_out_of_order)" = "50/0" ]
raw=$TARVO_WORK/out/media.bgr
timeout -k 5 60 "$TARVO_HOST" frames "$input" -o "$raw"
psnr=$(psnr_y "$out" "$raw" 322 180)
check "worst luma PSNR $psnr dB >= 30" at_least "${psnr:-0}" 30
check "temporary folder empty" temp_is_empty

out=$TARVO_WORK/out/never.mp4
run_export --settings "$settings" "$TARVO_WORK/no-such-file.mkv" -o "$out"
check "unreadable input: usage failure before any export" [ "$rc" -eq 2 ]
check "unreadable input: named" grep -qF "no-such-file.mkv" "$TARVO_WORK/err"
check "unreadable input: nothing written" [ ! -e "$out" ]
finish
