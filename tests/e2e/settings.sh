#!/usr/bin/env bash
# The settings block on disk: created from the defaults, edited by name,
# shown readably, refused whole when an edit is bad; a block the plug-in
# refuses stops the export with the plug-in's own message.
. "$(dirname "$0")/lib.sh"
file=$TARVO_WORK/s.bin

check "set creates the block" "$TARVO_HOST" settings set "$file" targetKbps=4000 codecProfile=high aacProfile=lc
check "the block is 820 bytes" [ "$(stat -c %s "$file")" = 820 ]
shown=$("$TARVO_HOST" settings show "$file")
echo "$shown" | sed 's/^/  | /'
check "numbers shown with their meaning" grep -qx 'codecProfile   = 100 (high)' <<<"$shown"
check "edits kept" grep -qx 'targetKbps     = 4000' <<<"$shown"
check "names taken for numbers" grep -qx 'aacProfile     = 1 (LC)' <<<"$shown"
check "the stand-in muxer filled in" grep -q '^muxerPath      = /.*mp4box-compat$' <<<"$shown"
# version at offset 0, targetKbps at offset 24, little-endian.
check "raw layout" [ "$(od -An -tu4 -j24 -N4 "$file" | tr -d ' ')/$(od -An -tu4 -N4 "$file" | tr -d ' ')" = "4000/2" ]

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

# Only a regular file of 820 bytes is a settings block: exit 2 and a message,
# never a crash or an endless read.
head -c 819 "$file" >"$TARVO_WORK/short.bin"
for bad in "$TARVO_WORK/short.bin" "$TARVO_WORK" /dev/zero; do
    "$TARVO_HOST" settings show "$bad" 2>"$TARVO_WORK/err"
    check "settings show $bad: refused" [ $? -eq 2 ]
    check "settings show $bad: said so" grep -q "not a regular file\|holds 819 bytes" "$TARVO_WORK/err"
done

# An edit is taken only when the dialog could have stored it.
before=$(md5sum <"$file")
for edit in version=3 aacKbps=-1 "targetKbps= 5" "targetKbps=5 " targetKbps=100000 codecLevel=7 aacKbps=300; do
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
