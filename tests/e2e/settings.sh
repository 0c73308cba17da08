#!/usr/bin/env bash
# The settings block on disk: created from the defaults, edited by name,
# shown readably, refused whole when an edit is bad; a block the plug-in
# refuses stops the export with the plug-in's own message.
. "$(dirname "$0")/lib.sh"
file=$TARVO_WORK/s.bin

check "set creates the block" "$TARVO_HOST" settings set "$file" targetKbps=4000 codecProfile=high aacProfile=lc
check "the block is 1024 bytes" [ "$(stat -c %s "$file")" = 1024 ]
shown=$("$TARVO_HOST" settings show "$file")
echo "$shown" | sed 's/^/  | /'
check "numbers shown with their meaning" grep -qx 'codecProfile   = 100 (high)' <<<"$shown"
check "edits kept" grep -qx 'targetKbps     = 4000' <<<"$shown"
check "names taken for numbers" grep -qx 'aacProfile     = 1 (LC)' <<<"$shown"
check "the stand-in muxer filled in" grep -q '^muxerPath      = /.*mp4box-compat$' <<<"$shown"
# version at offset 0, targetKbps at offset 24, little-endian.
check "raw layout" [ "$(od -An -tu4 -j24 -N4 "$file" | tr -d ' ')/$(od -An -tu4 -N4 "$file" | tr -d ' ')" = "4000/3" ]
check "the new fields at their defaults" grep -qx 'codec          = 541283905 (h264)' <<<"$shown"
check "bFrames left to the runtime" grep -qx 'bFrames        = auto' <<<"$shown"

# Version 3's keys: stored in the SDK's values where the layout puts them.
check "new keys taken" "$TARVO_HOST" settings set "$file" codec=hevc bitDepth=10 bFrames=3 gopLength=120 \
    qpI=20 lookAhead=40 codecLevel=auto
shown=$("$TARVO_HOST" settings show "$file")
check "bFrames shown as typed" grep -qx 'bFrames        = 3' <<<"$shown"
check "codecLevel auto" grep -qx 'codecLevel     = 0 (auto)' <<<"$shown"
check "codec, bit depth, GOP and B-frames at 820..863" \
    [ "$(od -An -tu4 -j820 -N8 "$file" | xargs)/$(od -An -tu4 -j856 -N8 "$file" | xargs)" = "1129727304 10/120 4" ]
check "back to H.264 in 8 bits" "$TARVO_HOST" settings set "$file" codec=h264 bitDepth=8 codecLevel=4 \
    bFrames=auto gopLength=auto qpI=22 lookAhead=auto

# A version-2 file (every project saved so far holds one) is read and
# written back as version 3, its fields kept.
head -c 820 "$file" >"$TARVO_WORK/v2.bin"
printf '\002' | dd of="$TARVO_WORK/v2.bin" bs=1 seek=0 conv=notrunc status=none
check "a version-2 file shown" grep -qx 'targetKbps     = 4000' <<<"$("$TARVO_HOST" settings show "$TARVO_WORK/v2.bin")"
check "a version-2 file edited" "$TARVO_HOST" settings set "$TARVO_WORK/v2.bin" maxKbps=6000
cp "$file" "$TARVO_WORK/v3.bin"
"$TARVO_HOST" settings set "$TARVO_WORK/v3.bin" maxKbps=6000
check "and written as version 3, the same as a version-3 file so edited" cmp -s "$TARVO_WORK/v2.bin" "$TARVO_WORK/v3.bin"
make_settings "$TARVO_WORK/fresh.bin"
head -c 820 "$TARVO_WORK/fresh.bin" >"$TARVO_WORK/v2.bin"
printf '\002' | dd of="$TARVO_WORK/v2.bin" bs=1 seek=0 conv=notrunc status=none
run_export --settings "$TARVO_WORK/v2.bin" --frames 1 -o "$TARVO_WORK/out/v2.mp4"
check "the plug-in takes a version-2 block and exports" [ "$rc" -eq 0 ]
check "the file written" [ -s "$TARVO_WORK/out/v2.mp4" ]
head -c 820 "$file" >"$TARVO_WORK/v2.bin"
run_export --settings "$TARVO_WORK/v2.bin" --frames 1 -o "$TARVO_WORK/out/v2-wrong.mp4"
check "820 bytes of version 3 refused by the plug-in" [ "$(message_count "Configure data is incompatible.")" = 1 ]
"$TARVO_HOST" settings show "$TARVO_WORK/v2.bin" 2>"$TARVO_WORK/err"
check "and by settings show, with the reason" grep -q "version 3 in 820 bytes" "$TARVO_WORK/err"

before=$(md5sum <"$file")
"$TARVO_HOST" settings set "$file" maxKbps=5000 bogus=1 2>"$TARVO_WORK/err"
check "unknown key refused" [ $? -eq 2 ]
"$TARVO_HOST" settings set "$file" targetKbps=12x 2>>"$TARVO_WORK/err"
check "bad number refused" [ $? -eq 2 ]
"$TARVO_HOST" settings set "$file" "tempFolder=$(printf 'a%.0s' $(seq 260))" 2>>"$TARVO_WORK/err"
check "a 260-character path refused" [ $? -eq 2 ]
check "a refused edit changes nothing" [ "$(md5sum <"$file")" = "$before" ]

# A text field without a terminator is read as its first 259 characters.
printf 'b%.0s' $(seq 260) | dd of="$file" bs=1 seek=560 conv=notrunc status=none
check "an unterminated field shown cut, and said so" \
    grep -q "^tempFolder     = $(printf 'b%.0s' $(seq 259))  (no terminator" <<<"$("$TARVO_HOST" settings show "$file")"

# Only a regular file of 1024 or 820 bytes is a settings block: exit 2 and a message,
# never a crash or an endless read.
head -c 1023 "$file" >"$TARVO_WORK/short.bin"
for bad in "$TARVO_WORK/short.bin" "$TARVO_WORK" /dev/zero; do
    "$TARVO_HOST" settings show "$bad" 2>"$TARVO_WORK/err"
    check "settings show $bad: refused" [ $? -eq 2 ]
    check "settings show $bad: said so" grep -q "not a regular file\|holds 1023 bytes" "$TARVO_WORK/err"
done

# An edit is taken only when the dialog could have stored it.
before=$(md5sum <"$file")
for edit in version=2 aacKbps=-1 "targetKbps= 5" "targetKbps=5 " targetKbps=100000 codecLevel=7 aacKbps=300 \
    codec=vp9 bitDepth=12 qpI=0 quality=52 bFrames=-1 lookAhead=101 gopLength=65536; do
    "$TARVO_HOST" settings set "$file" "$edit" 2>"$TARVO_WORK/err"
    check "settings set '$edit': refused" [ $? -eq 2 ]
done
check "the refused edits changed nothing" [ "$(md5sum <"$file")" = "$before" ]

# Version 1 is refused by the plug-in itself, with its own words.
printf '\001' | dd of="$file" bs=1 seek=0 conv=notrunc status=none
run_export --settings "$file" --frames 1 -o "$TARVO_WORK/out/v1.mp4"
check "an incompatible block stops the export" [ "$rc" -eq 2 ]
check "the plug-in's message reaches the user" [ "$(message_count "Configure data is incompatible.")" = 1 ]
check "nothing written" [ ! -e "$TARVO_WORK/out/v1.mp4" ]
finish
