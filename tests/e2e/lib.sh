# Helpers for the end-to-end tests: run tarvo-host on the built plug-in and
# read what it wrote back with ffprobe and ffmpeg.
# Environment (set by CTest): TARVO_HOST, TARVO_PLUGIN, TARVO_WORK (a folder
# this test may fill). Every command that could wait runs under `timeout`.
set -uo pipefail

: "${TARVO_HOST:?}" "${TARVO_PLUGIN:?}" "${TARVO_WORK:?}"
LIMIT=${TARVO_E2E_LIMIT:-240}   # seconds for one command, sanitizer builds included
failures=0

rm -rf "$TARVO_WORK" && mkdir -p "$TARVO_WORK/tmp" "$TARVO_WORK/out" "$TARVO_WORK/sys"
export TMPDIR="$TARVO_WORK/sys"

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
check() {  # description, command...
    local what=$1; shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}
finish() {
    if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed" >&2; exit 1; fi
    echo "all checks passed"
}

# A settings block with the stand-in programs and a private temporary folder;
# further key=value edits may follow. TARVO_E2E_AAC and TARVO_E2E_MUXER, when
# set, name other programs (tarvo-aac and tarvo-mux) for the whole test.
make_settings() {  # file, edits...
    local file=$1; shift
    rm -f "$file"
    local programs=()
    [ -z "${TARVO_E2E_AAC:-}" ] || programs+=("aacEncoderPath=$TARVO_E2E_AAC")
    [ -z "${TARVO_E2E_MUXER:-}" ] || programs+=("muxerPath=$TARVO_E2E_MUXER")
    "$TARVO_HOST" settings set "$file" "tempFolder=$TARVO_WORK/tmp" "${programs[@]}" "$@"
}

# Runs an export; leaves its exit status in $rc, its standard output (the
# --stats lines) in $TARVO_WORK/stats and its standard error in $TARVO_WORK/err.
run_export() {  # export arguments...
    timeout -k 10 "$LIMIT" "$TARVO_HOST" export --plugin "$TARVO_PLUGIN" --stats --quiet "$@" \
        >"$TARVO_WORK/stats" 2>"$TARVO_WORK/err"
    rc=$?
    sed 's/^/  | /' "$TARVO_WORK/err"
}

stat_of() { sed -n "s/^$1=//p" "$TARVO_WORK/stats"; }

# Nothing of an export may stay in the temporary folder.
temp_is_empty() { [ -z "$(ls -A "$TARVO_WORK/tmp" 2>/dev/null)" ]; }

# "count" of messages with this exact text on the export's standard error.
message_count() { grep -cxF "$1" "$TARVO_WORK/err"; }

probe() {  # file, stream selector (v:0 or a:0), entries -> values, one a line
    timeout -k 5 60 ffprobe -v error -select_streams "$2" -show_entries "stream=$3" -of default=nw=1:nk=1 "$1"
}
stream_types() { timeout -k 5 60 ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$1" | tr '\n' ' '; }
frame_count() { timeout -k 5 60 ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }
frame_rate() { probe "$1" v:0 r_frame_rate; }
# Duration of a stream in seconds, from the container's stream header.
duration_of() { probe "$1" "$2" duration; }

# |a - b| <= tolerance, in floating point.
near() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= t) }'; }
at_least() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; }

# The worst frame's luma PSNR (dB) of the video in an MP4 against raw top-down BGR24
# frames of the given size, frame by frame in order, over the picture area
# both have (an encoder may round an odd width up to an even one). Both sides
# become raw luma first, so frames pair by position, not by time stamp.
psnr_y() {  # mp4, raw, width, height [extra filter for the reference]
    local mp4=$1 raw=$2 w=$3 h=$4 extra=${5:-null}
    local dw dh
    dw=$(probe "$mp4" v:0 width) dh=$(probe "$mp4" v:0 height)
    local cw=$((w < dw ? w : dw)) ch=$((h < dh ? h : dh))
    local a=$raw.decoded.y b=$raw.reference.y
    # The decoded side is the same for every reference: made once.
    [ -s "$a" ] || timeout -k 5 120 ffmpeg -nostdin -v error -y -i "$mp4" -fps_mode passthrough \
        -vf "format=gray,crop=$cw:$ch:0:0" -f rawvideo "$a" || return 1
    timeout -k 5 120 ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt bgr24 -s "${w}x${h}" -i "$raw" \
        -vf "$extra,format=gray,crop=$cw:$ch:0:0" -f rawvideo "$b" || return 1
    timeout -k 5 120 ffmpeg -nostdin -v info -f rawvideo -pix_fmt gray -s "${cw}x${ch}" -i "$a" \
        -f rawvideo -pix_fmt gray -s "${cw}x${ch}" -i "$b" -lavfi psnr -f null - 2>&1 |
        sed -n 's/.*PSNR y:.* min:\([0-9.inf]*\).*/\1/p' | tail -n 1
}

# True when the machine has an Intel graphics adapter (PCI vendor 0x8086).
intel_adapter_present() { grep -qsx 0x8086 /sys/class/drm/*/device/vendor; }

# Runs an export in the background and sends it `signal` after `delay`
# seconds (or, for a delay of "wav", once the WAV file is being written), as
# a user or a session manager would; leaves its exit status in
# $rc and the seconds from the signal to its end in $after (to 0.05 s). The
# signal goes to tarvo-host alone (`timeout` would send it twice: to the
# process and to its group); an export that does not end within $LIMIT
# seconds is killed.
# delay: seconds; "wav" (once the WAV file is being written); or "file:PATH"
# (once PATH exists, e.g. written by a program the export started), so that a
# slow build (a sanitizer's) cancels in the stage meant, not before it.
cancel_export() {  # signal, delay, export arguments...
    local sig=$1 delay=$2; shift 2
    "$TARVO_HOST" export --plugin "$TARVO_PLUGIN" --stats --quiet "$@" >"$TARVO_WORK/stats" 2>"$TARVO_WORK/err" &
    local pid=$!
    local tries=0
    case $delay in
        wav)
            until [ -n "$(find "$TARVO_WORK/tmp" -name '*.wav' -size +1k 2>/dev/null)" ] || [ "$tries" -ge $((LIMIT * 20)) ]; do
                sleep 0.05
                tries=$((tries + 1))
            done ;;
        file:*)
            until [ -s "${delay#file:}" ] || [ "$tries" -ge $((LIMIT * 20)) ]; do
                sleep 0.05
                tries=$((tries + 1))
            done ;;
        *) sleep "$delay" ;;
    esac
    local t0; t0=$(date +%s.%N)
    kill -s "$sig" "$pid"
    local waited=0
    while kill -0 "$pid" 2>/dev/null && [ "$waited" -lt $((LIMIT * 20)) ]; do
        sleep 0.05
        waited=$((waited + 1))
    done
    after=$(awk -v a="$t0" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
    kill -9 "$pid" 2>/dev/null
    wait "$pid"
    rc=$?
    sed 's/^/  | /' "$TARVO_WORK/err"
    echo "  (ended $after s after SIG$sig)"
}

# Lines the plug-in (not tarvo-host, not the stand-in programs) wrote to
# standard error: its messages.
plugin_messages() { grep -v -e '^tarvo-host' -e '^mp4box-compat' -e '^neroaacenc-compat' "$TARVO_WORK/err"; }
