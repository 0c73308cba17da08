#!/usr/bin/env bash
# A job with audio: both tracks, every frame once and in order, durations
# that match, the host contract kept, nothing left in the temporary folder.
. "$(dirname "$0")/lib.sh"
settings=$TARVO_WORK/settings.bin
make_settings "$settings"
out=$TARVO_WORK/out/demo.mp4

run_export --settings "$settings" --size 320x180 --rate 30 --frames 45 -o "$out"
check "export succeeds" [ "$rc" -eq 0 ]
check "video and audio tracks" [ "$(stream_types "$out")" = "video audio " ]
check "codecs h264 and aac" [ "$(probe "$out" v:0 codec_name)/$(probe "$out" a:0 codec_name)" = "h264/aac" ]
check "45 frames" [ "$(frame_count "$out")" = 45 ]
check "30 frames per second" [ "$(frame_rate "$out")" = "30/1" ]
check "video lasts 1.5 s within one frame" near "$(duration_of "$out" v:0)" 1.5 0.0334
check "audio lasts 1.5 s within 50 ms" near "$(duration_of "$out" a:0)" 1.5 0.05
check "audio keeps 48000 Hz stereo" [ "$(probe "$out" a:0 sample_rate)/$(probe "$out" a:0 channels)" = "48000/2" ]
check "every frame asked for once, in order" [ "$(stat_of frames)/$(stat_of frames_out_of_order)" = "45/0" ]
check "all audio asked for, 1000 at a time" [ "$(stat_of audio_samples)/$(stat_of audio_length_asked)" = "72000/1000" ]
check "callbacks on the host's thread only" [ "$(stat_of foreign_thread_calls)/$(stat_of bad_requests)" = "0/0" ]
# Progress at frame 0 and then at least every 250 ms, whatever the stage.
check "progress shown" [ "$(stat_of progress_calls)" -ge 1 ]
check "temporary folder empty" temp_is_empty
check "the host names the file it wrote" grep -qF "tarvo-host: wrote $TARVO_WORK/out/demo.mp4" "$TARVO_WORK/err"

# A job without audio: one track, and the host is never asked for audio.
out=$TARVO_WORK/out/silent.mp4
run_export --settings "$settings" --size 320x180 --frames 20 --no-audio -o "$out"
check "video-only export succeeds" [ "$rc" -eq 0 ]
check "video track only" [ "$(stream_types "$out")" = "video " ]
check "20 frames" [ "$(frame_count "$out")" = 20 ]
check "audio never asked for" [ "$(stat_of audio_calls)" = 0 ]
check "temporary folder empty after video-only job" temp_is_empty
finish
