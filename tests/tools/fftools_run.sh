#!/usr/bin/env bash
# tarvo-aac and tarvo-mux around a recording fake ffmpeg beside them: what
# ffmpeg receives, what each ending gives (exit code, one line, the output
# deleted only when the run made it), where ffmpeg is looked for, and a
# cancel passed on to ffmpeg.
# Usage: fftools_run.sh TARVO_AAC TARVO_MUX
set -uo pipefail
aac_built=${1:?tarvo-aac} mux_built=${2:?tarvo-mux}
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvo fftools.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # description, command...
    local what=$1; shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what" >&2; failures=$((failures + 1)); fi
}

bin="$work/bin dir"
mkdir -p "$bin" "$work/out"
cp "$aac_built" "$mux_built" "$bin/"
# The fake: records its arguments one a line and its pid, then acts as
# $FAKE_MODE says on the output (its last argument, without "file:").
cat >"$bin/ffmpeg" <<'FAKE'
#!/bin/sh
here=$(dirname "$0")
printf '%s\n' "$@" >"$here/ffmpeg.args"
echo $$ >"$here/ffmpeg.pid"
for last; do :; done
out=${last#file:}
case "${FAKE_MODE:-ok}" in
  ok) echo data >"$out" ;;
  fail) echo partial >"$out"; echo "first complaint" >&2; echo "last words" >&2; exit 3 ;;
  nooutput) ;;
  hang) echo partial >"$out"; exec sleep 300 ;;
esac
exit 0
FAKE
chmod +x "$bin/ffmpeg"
aac=$bin/tarvo-aac
out=$work/out/a.m4a
run_aac() { rm -f "$out"; timeout 60 "$aac" -2pass -br 96000 "$@" -if "$work/in put.wav" -of "$out" 2>"$work/err"; rc=$?; }

FAKE_MODE=ok run_aac -he
check "success: exit 0" [ "$rc" -eq 0 ]
check "success: the output stays" [ -f "$out" ]
check "-he: says LC is written" grep -qxF "tarvo-aac: -he asked, writing AAC LC (FFmpeg's encoder makes LC only)" "$work/err"
expected="-nostdin -hide_banner -nostats -loglevel error -y -f wav -i file:$work/in put.wav -map 0:a:0 -c:a aac -profile:a aac_low -b:a 96000 -f ipod file:$out"
check "ffmpeg gets the mapped arguments" [ "$(tr '\n' ' ' <"$bin/ffmpeg.args")" = "$expected " ]

FAKE_MODE=fail run_aac
check "ffmpeg fails: exit 1" [ "$rc" -eq 1 ]
check "ffmpeg fails: one line with its code and last words" [ "$(cat "$work/err")" = "tarvo-aac: ffmpeg exited with code 3: last words" ]
check "ffmpeg fails: the half-written output is deleted" [ ! -e "$out" ]

echo "keep me" >"$out"
FAKE_MODE=fail timeout 60 "$aac" -if "$work/x.wav" -of "$out" 2>/dev/null
check "ffmpeg fails: a file that was there before is not deleted" [ -f "$out" ]

FAKE_MODE=nooutput run_aac
check "no output: exit 1" [ "$rc" -eq 1 ]
check "no output: said" [ "$(cat "$work/err")" = "tarvo-aac: ffmpeg wrote no output file" ]

timeout 60 "$aac" -br 96000 -if 2>"$work/err"
check "bad arguments: exit 1" [ "$?" -eq 1 ]
check "bad arguments: said" [ "$(cat "$work/err")" = "tarvo-aac: -if needs a value" ]

# Found on PATH (absolute folders only), never in the current folder.
lone="$work/lone"
mkdir -p "$lone" "$work/cwd/rel"
cp "$aac_built" "$lone/"
cp "$bin/ffmpeg" "$work/cwd/ffmpeg"
cp "$bin/ffmpeg" "$work/cwd/rel/ffmpeg"
limit=$(command -v timeout)
(cd "$work/cwd" && PATH=".:rel::/nonexistent" FAKE_MODE=ok "$limit" 60 "$lone/tarvo-aac" -if a.wav -of "$out" 2>"$work/err")
check "only in the current folder: exit 1" [ "$?" -eq 1 ]
check "only in the current folder: not found" grep -qxF "tarvo-aac: ffmpeg not found: put ffmpeg beside tarvo-aac or in a folder on PATH" "$work/err"
check "only in the current folder: never run" [ ! -e "$work/cwd/ffmpeg.args" ] && [ ! -e "$work/cwd/rel/ffmpeg.args" ]
(cd "$work/cwd" && PATH="rel:$work/cwd/rel:/usr/bin" FAKE_MODE=ok timeout 60 "$lone/tarvo-aac" -if a.wav -of "$out")
check "on PATH: found and run" [ "$?" -eq 0 ] && [ -e "$work/cwd/rel/ffmpeg.args" ]

# A cancel: SIGTERM to tarvo-mux ends ffmpeg and the half-written MP4 with it.
mp4=$work/out/cancel.mp4
rm -f "$bin/ffmpeg.pid"
FAKE_MODE=hang "$bin/tarvo-mux" -add "$work/none.aac#audio" -new "$mp4" 2>/dev/null &
tool=$!
for _ in $(seq 100); do [ -s "$bin/ffmpeg.pid" ] && [ -e "$mp4" ] && break; sleep 0.1; done
ffmpeg_pid=$(cat "$bin/ffmpeg.pid" 2>/dev/null)
kill -TERM "$tool"
wait "$tool"
rc=$?
check "cancel: ended by the same signal (status $rc)" [ "$rc" -eq 143 ]
gone=1
for _ in $(seq 50); do kill -0 "$ffmpeg_pid" 2>/dev/null || { gone=0; break; }; sleep 0.1; done
check "cancel: ffmpeg ended too" [ "$gone" -eq 0 ]
check "cancel: the half-written MP4 is deleted" [ ! -e "$mp4" ]

# The same while tarvo-mux is blocked writing the video into ffmpeg's
# standard input (more than a pipe holds, and the fake never reads it).
video=$work/video.h264
ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=320x240:rate=25 -vf noise=alls=100:allf=t -frames:v 50 -c:v libx264 \
    -qp 10 -f h264 "$video"
rm -f "$bin/ffmpeg.pid" "$mp4"
FAKE_MODE=hang "$bin/tarvo-mux" -add "$video#video:fps=25" -new "$mp4" 2>/dev/null &
tool=$!
for _ in $(seq 100); do [ -s "$bin/ffmpeg.pid" ] && [ -e "$mp4" ] && break; sleep 0.1; done
ffmpeg_pid=$(cat "$bin/ffmpeg.pid" 2>/dev/null)
check "cancel while feeding: the stream is larger than a pipe" [ "$(stat -c %s "$video")" -gt 262144 ]
kill -INT "$tool"
wait "$tool"
rc=$?
check "cancel while feeding: ended by SIGINT (status $rc)" [ "$rc" -eq 130 ]
gone=1
for _ in $(seq 50); do kill -0 "$ffmpeg_pid" 2>/dev/null || { gone=0; break; }; sleep 0.1; done
check "cancel while feeding: ffmpeg ended too" [ "$gone" -eq 0 ]
check "cancel while feeding: the half-written MP4 is deleted" [ ! -e "$mp4" ]

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "all checks passed"
