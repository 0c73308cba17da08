#!/usr/bin/env bash
# Frame rates the editor uses, NTSC fractions included: every frame arrives
# and the MP4 plays at the job's rate for the job's length.
. "$(dirname "$0")/lib.sh"
settings=$TARVO_WORK/settings.bin
make_settings "$settings"

for case in "30000/1001 60" "24000/1001 48" "25/1 50" "60/1 30"; do
    set -- $case
    rate=$1 frames=$2
    out=$TARVO_WORK/out/rate-${rate%/*}.mp4
    run_export --settings "$settings" --size 176x144 --rate "$rate" --frames "$frames" -o "$out"
    check "$rate: export succeeds" [ "$rc" -eq 0 ]
    check "$rate: $frames frames" [ "$(frame_count "$out")" = "$frames" ]
    expected=$(awk -v r="$rate" 'BEGIN { split(r, p, "/"); printf "%.6f", p[1] / p[2] }')
    measured=$(frame_rate "$out" | awk -F/ '{ printf "%.6f", $1 / $2 }')
    check "$rate: frame rate $expected (got $measured)" near "$measured" "$expected" 0.001
    length=$(awk -v r="$rate" -v n="$frames" 'BEGIN { split(r, p, "/"); printf "%.6f", n * p[2] / p[1] }')
    frame=$(awk -v r="$rate" 'BEGIN { split(r, p, "/"); printf "%.6f", p[2] / p[1] }')
    check "$rate: video lasts $length s within one frame" near "$(duration_of "$out" v:0)" "$length" "$frame"
    check "$rate: audio lasts $length s within 50 ms" near "$(duration_of "$out" a:0)" "$length" 0.05
done
check "temporary folder empty" temp_is_empty
finish
