#!/usr/bin/env bash
# Folders that cannot be used: a missing or unwritable temporary folder, an
# output path that cannot be written. A failed export, said plainly, nothing
# left behind. /proc stands for "not writable", even for root.
. "$(dirname "$0")/lib.sh"
settings=$TARVO_WORK/settings.bin

out=$TARVO_WORK/out/a.mp4
make_settings "$settings" "tempFolder=$TARVO_WORK/missing"
run_export --settings "$settings" --size 176x144 --frames 10 -o "$out"
check "missing temporary folder: export fails" [ "$rc" -eq 1 ]
check "missing temporary folder: the host names it" grep -qF "the temporary folder '$TARVO_WORK/missing' is missing" "$TARVO_WORK/err"
check "missing temporary folder: no MP4" [ ! -e "$out" ]
check "missing temporary folder: not created" [ ! -e "$TARVO_WORK/missing" ]

make_settings "$settings" "tempFolder=/proc"
run_export --settings "$settings" --size 176x144 --frames 10 -o "$out"
check "unwritable temporary folder: export fails" [ "$rc" -eq 1 ]
check "unwritable temporary folder: the host names it" grep -qF "the temporary folder '/proc' is missing or not writable" "$TARVO_WORK/err"
check "unwritable temporary folder: no MP4" [ ! -e "$out" ]

for target in /proc/tarvo-e2e.mp4 "$TARVO_WORK/no-such-folder/a.mp4"; do
    out=$target
    make_settings "$settings"
    run_export --settings "$settings" --size 176x144 --frames 10 -o "$out"
    check "output $target: export fails" [ "$rc" -eq 1 ]
    check "output $target: the host names the folder" grep -qF "the output folder '$(dirname "$target")' is missing or not writable" "$TARVO_WORK/err"
    check "output $target: nothing written" [ ! -e "$out" ]
    check "output $target: temporary folder empty" temp_is_empty
done
finish
