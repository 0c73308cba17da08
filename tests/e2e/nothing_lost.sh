#!/usr/bin/env bash
# Whatever a program or the user does, the file that was at the output path
# stays byte for byte unless a finished MP4 replaces it; the exit status and
# one message tell what happened; nothing is left in either folder and no
# program is left running.
. "$(dirname "$0")/lib.sh"
: "${TARVO_E2E_REAL_MUXER:?}"
settings=$TARVO_WORK/settings.bin
bin=$TARVO_WORK/bin
mkdir -p "$bin"
out=$TARVO_WORK/out/old.mp4
# Each stand-in carries a number of its own in what it leaves running.
program() {  # name, body (the arguments are "$@"; the last names the output)
    printf '#!/bin/sh\nlast=""; for a in "$@"; do last=$a; done\n%s\n' "$2" >"$bin/$1"
    chmod +x "$bin/$1"
}
program partial-mux 'printf "\000\000\000\010ftypPART" >"$last"; exit 1'
program idle-mux 'exit 0'
program garbage-mux 'echo garbage >"$last"; exit 0'
program hanging-mux 'exec sleep 7101'
program forking-mux "sleep 7102 & exec '$TARVO_E2E_REAL_MUXER' \"\$@\""
program writing-mux "(sleep 1; echo junk >>\"\$last\") & exec '$TARVO_E2E_REAL_MUXER' \"\$@\""
program dying-aac 'exit 5'
program idle-aac 'exit 0'

left_running() { pgrep -f "sleep 71" >/dev/null; }
none_running() { ! left_running; }
only_old_file() { [ "$(ls -A "$TARVO_WORK/out")" = "old.mp4" ]; }

# program key, program, frames, export options, exit status, message -> checks
row() {
    local key=$1 prog=$2 frames=$3 options=$4 status=$5 message=$6
    printf 'old file' >"$out"
    make_settings "$settings" "$key=$bin/$prog"
    # shellcheck disable=SC2086
    run_export --settings "$settings" --size 176x144 --frames "$frames" $options -o "$out"
    check "$prog: exit status $status" [ "$rc" -eq "$status" ]
    check "$prog: the old file stays" [ "$(cat "$out")" = "old file" ]
    check "$prog: nothing beside it" only_old_file
    check "$prog: temporary folder empty" temp_is_empty
    check "$prog: nothing left running" none_running
    [ -z "$message" ] || check "$prog: says '$message'" [ "$(grep -cF "$message" "$TARVO_WORK/err")" = 1 ]
}
row muxerPath partial-mux 10 "" 1 "MP4 muxer failed (exit code 1): $bin/partial-mux"
row muxerPath idle-mux 10 "" 1 "MP4 muxer wrote no file at $out: $bin/idle-mux"
row muxerPath garbage-mux 10 "" 1 "MP4 muxer wrote no MP4 file at $out: $bin/garbage-mux"
# Cancelled once the last frame went out: while the muxer runs.
row muxerPath hanging-mux 10 "--abort-after 10" 4 "the export was cancelled"
row aacEncoderPath idle-aac 10 "" 1 "AAC encoder wrote no file: $bin/idle-aac"
row aacEncoderPath dying-aac 3000 "" 1 "AAC encoder failed (exit code 5): $bin/dying-aac"
check "dying-aac: noticed long before the last frame" [ "$(stat_of frames)" -lt 3000 ]

# A cancel is a cancel, whatever is at the output path.
row muxerPath forking-mux 30 "--abort-after 15" 4 "cancelled after 15 of 30 frames"

# A program's leftovers end with it: none outlives a successful export, and
# none touches the MP4 after it took the output's place.
for prog in forking-mux writing-mux; do
    printf 'old file' >"$out"
    make_settings "$settings" "muxerPath=$bin/$prog"
    run_export --settings "$settings" --size 176x144 --frames 10 -o "$out"
    check "$prog: exported" [ "$rc" -eq 0 ]
    sum=$(md5sum <"$out")
    sleep 1.5
    check "$prog: nothing left running" none_running
    check "$prog: the MP4 stays as written" [ "$(md5sum <"$out")" = "$sum" ]
    check "$prog: it is an MP4" [ "$(frame_count "$out")" = 10 ]
    check "$prog: nothing beside it" only_old_file
done

# Every Ctrl-C cancels; and should the host be killed outright, the program
# it started goes with it.
printf 'old file' >"$out"
make_settings "$settings" "muxerPath=$bin/hanging-mux"
"$TARVO_HOST" export --plugin "$TARVO_PLUGIN" --quiet --settings "$settings" --size 176x144 --frames 10 \
    -o "$out" 2>"$TARVO_WORK/err" &
host=$!
for _ in $(seq 100); do left_running && break; sleep 0.1; done
kill -INT "$host"; sleep 0.05; kill -INT "$host"; sleep 0.05; kill -INT "$host"
timeout 60 tail --pid="$host" -f /dev/null
wait "$host"; rc=$?
check "three Ctrl-C: cancelled" [ "$rc" -eq 4 ]
check "three Ctrl-C: the old file stays" [ "$(cat "$out")" = "old file" ]
check "three Ctrl-C: temporary folder empty" temp_is_empty
check "three Ctrl-C: nothing left running" none_running

"$TARVO_HOST" export --plugin "$TARVO_PLUGIN" --quiet --settings "$settings" --size 176x144 --frames 10 \
    -o "$out" 2>"$TARVO_WORK/err" &
host=$!
for _ in $(seq 100); do left_running && break; sleep 0.1; done
kill -KILL "$host"; wait "$host"
for _ in $(seq 50); do left_running || break; sleep 0.1; done
check "host killed: its program goes too" none_running
check "host killed: the old file stays" [ "$(cat "$out")" = "old file" ]
rm -f "$TARVO_WORK"/tmp/* "$TARVO_WORK"/out/old.mp4.*

# The command line and the settings show what they were given, safely.
run_export --size 176x144 --frames 10 --abort-after " 5" -o "$out"
check "--abort-after ' 5' refused" [ "$rc" -eq 2 ]
"$TARVO_HOST" settings set "$settings" "tempFolder=$(printf 'a\033[31mb')" >/dev/null 2>&1
check "settings show escapes control bytes" \
    sh -c "'$TARVO_HOST' settings show '$settings' | grep -qF 'a\\x1b[31mb'"
finish
