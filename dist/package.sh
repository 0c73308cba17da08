#!/usr/bin/env bash
# Builds the release zip for AviUtl users: the plug-in, its two READMEs and
# the programs beside it (tarvo-aac.exe, tarvo-mux.exe).
# Refuses a plug-in that AviUtl could not load on a plain Windows machine:
# it must be a PE32 DLL exporting GetOutputPluginTable alone and importing
# only libraries that every Windows has; the programs must be 32-bit Windows
# programs with the same imports only.
# Usage: package.sh PLUGIN.auo SOURCE_DIR OUTPUT.zip OBJDUMP [PROGRAM.exe...]
set -euo pipefail
auo=${1:?plug-in}
src=${2:?source folder}
zip_out=${3:?zip path}
objdump=${4:?objdump}
shift 4
programs=("$@")

fail() { echo "dist: $*" >&2; exit 1; }

file "$auo" | grep -q 'PE32 executable (DLL).*Intel 80386' || fail "not a 32-bit Windows DLL: $auo"

dump=$("$objdump" -p "$auo")
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed 1d | grep '\[' | awk '{print $NF}')
[ "$exports" = GetOutputPluginTable ] || fail "exports must be GetOutputPluginTable alone, found: ${exports:-none}"

# The C and C++ runtimes are linked in; what remains ships with Windows.
system_dlls=" kernel32.dll user32.dll gdi32.dll advapi32.dll comdlg32.dll comctl32.dll shell32.dll "
system_dlls+="ole32.dll oleaut32.dll shlwapi.dll msvcrt.dll "
system_only() {  # file, its objdump -p
  local found
  found=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$2")
  [ -n "$found" ] || fail "no import table found in $1"
  for dll in $found; do
    [[ "$system_dlls" == *" $dll "* ]] || fail "$(basename "$1") imports $dll, which Windows does not ship"
  done
}
imports=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$dump")
system_only "$auo" "$dump"
names=()
for program in "${programs[@]}"; do
  file "$program" | grep -q 'PE32 executable (console) Intel 80386' || fail "not a 32-bit Windows program: $program"
  system_only "$program" "$("$objdump" -p "$program")"
  names+=("$(basename "$program")")
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$auo" "$stage/Tarvo_output.auo"
for program in "${programs[@]}"; do cp "$program" "$stage/"; done
# Notepad of every Windows version reads UTF-8 with a byte-order mark and
# CRLF line ends, whatever the system's code page.
for readme in README.txt README_ja.txt; do
  { printf '\xef\xbb\xbf'; sed 's/$/\r/' "$src/$readme"; } >"$stage/$readme"
done
# Fixed time stamps keep the zip the same for the same inputs.
touch -d '2026-01-01 00:00:00 UTC' "$stage"/*
rm -f "$zip_out"
(cd "$stage" && TZ=UTC zip -q -X "$zip_out.tmp" Tarvo_output.auo README.txt README_ja.txt "${names[@]}")
mv "$zip_out.tmp" "$zip_out"

listed=$(unzip -Z1 "$zip_out" | sort | tr '\n' ' ')
wanted=$(printf '%s\n' README.txt README_ja.txt Tarvo_output.auo "${names[@]}" | sort | tr '\n' ' ')
[ "$listed" = "$wanted" ] || fail "unexpected zip contents: $listed"
echo "dist: $zip_out (imports: $(tr '\n' ' ' <<<"$imports"))"
