#!/usr/bin/env bash
# A whole export with tarvo-aac and tarvo-mux as the plug-in's two programs
# and the real ffmpeg behind them: both tracks, the exact NTSC rate, video
# and audio as long as the job within a frame, nothing left behind; and a
# failure of ffmpeg is the export's failure.
. "$(dirname "$0")/lib.sh"
: "${TARVO_E2E_AAC:?}" "${TARVO_E2E_MUXER:?}"
settings=$TARVO_WORK/settings.bin
make_settings "$settings" aacProfile=HE
mkdir -p "$TARVO_WORK/out/フォルダ with space"
out="$TARVO_WORK/out/フォルダ with space/ntsc #1.mp4"
frame=$(awk 'BEGIN { printf "%.6f", 1001 / 30000 }')

run_export --settings "$settings" --size 320x180 --rate 30000/1001 --frames 90 -o "$out"
check "export succeeds" [ "$rc" -eq 0 ]
check "video and audio tracks" [ "$(stream_types "$out")" = "video audio " ]
check "codecs h264 and aac" [ "$(probe "$out" v:0 codec_name)/$(probe "$out" a:0 codec_name)" = "h264/aac" ]
check "frame rate exactly 30000/1001" [ "$(frame_rate "$out")" = "30000/1001" ]
check "90 frames" [ "$(frame_count "$out")" = 90 ]
length=$(awk 'BEGIN { printf "%.6f", 90 * 1001 / 30000 }')
check "video lasts $length s within a frame" near "$(duration_of "$out" v:0)" "$length" "$frame"
check "audio lasts $length s within a frame" near "$(duration_of "$out" a:0)" "$length" "$frame"
check "HE asked: tarvo-aac says it writes LC" grep -qF "tarvo-aac: -he asked, writing AAC LC" "$TARVO_WORK/err"
check "index at the front (faststart)" \
    [ "$(head -c 64 "$out" | grep -c moov)" -eq 1 ] 
check "temporary folder empty" temp_is_empty

# ffmpeg refusing the job (no ffmpeg beside the programs, none on PATH).
bin=$TARVO_WORK/bin
mkdir -p "$bin"
cp "$TARVO_E2E_MUXER" "$bin/"
printf '#!/bin/sh\necho "ffmpeg: giving up" >&2\nexit 9\n' >"$bin/ffmpeg"
chmod +x "$bin/ffmpeg"
make_settings "$settings" "muxerPath=$bin/$(basename "$TARVO_E2E_MUXER")"
out=$TARVO_WORK/out/failed.mp4
run_export --settings "$settings" --size 176x144 --frames 10 -o "$out"
check "ffmpeg fails: export fails" [ "$rc" -eq 1 ]
check "ffmpeg fails: tarvo-mux names the cause" grep -qxF "tarvo-mux: ffmpeg exited with code 9: ffmpeg: giving up" "$TARVO_WORK/err"
check "ffmpeg fails: no MP4 left" [ ! -e "$out" ]
check "ffmpeg fails: temporary folder empty" temp_is_empty
finish
