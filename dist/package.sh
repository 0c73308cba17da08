#!/usr/bin/env bash
# Builds the release zip: the AviUtl plug-in, the AviUtl ExEdit2 plug-in, the
# two READMEs and the programs beside them (tarvo-aac.exe, tarvo-mux.exe).
# Refuses a plug-in its editor could not load on a plain Windows machine: the
# .auo must be a PE32 DLL exporting GetOutputPluginTable alone, the .auo2 a
# PE32+ x86-64 DLL exporting GetOutputPluginTable, InitializeConfig, InitializeLogger and InitializePlugin alone,
# both importing only libraries that every Windows has; the programs must be
# 32-bit Windows programs with the same imports only.
# Usage: package.sh PLUGIN.auo PLUGIN.auo2 SOURCE_DIR OUTPUT.zip OBJDUMP OBJDUMP64 [PROGRAM.exe...]
set -euo pipefail
auo=${1:?plug-in}
auo2=${2:-}
src=${3:?source folder}
zip_out=${4:?zip path}
objdump=${5:?objdump}
objdump64=${6:?64-bit objdump}
shift 6
programs=("$@")

fail() { echo "dist: $*" >&2; exit 1; }

[ -n "$auo2" ] || fail "the zip needs Tarvo_output.auo2: build it (cmake/mingw-x86_64.cmake) and configure with -DTARVO_AUO2=PATH"

# The C and C++ runtimes are linked in; what remains ships with Windows.
system_dlls=" kernel32.dll user32.dll gdi32.dll advapi32.dll comdlg32.dll comctl32.dll shell32.dll "
system_dlls+="ole32.dll oleaut32.dll shlwapi.dll msvcrt.dll winmm.dll "
all_imports=""
system_only() {  # file, its objdump -p
  local found
  found=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$2")
  [ -n "$found" ] || fail "no import table found in $1"
  for dll in $found; do
    [[ "$system_dlls" == *" $dll "* ]] || fail "$(basename "$1") imports $dll, which Windows does not ship"
  done
  all_imports+="$(basename "$1"): $(tr '\n' ' ' <<<"$found")"
}

check_plugin() {  # plugin, `file` type, objdump, its exports in sorted order
  local plugin=$1 dump exports
  file "$plugin" | grep -q "$2" || fail "not a DLL of the expected kind ($2): $plugin"
  dump=$("$3" -p "$plugin")
  exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed 1d | grep '\[' | awk '{print $NF}' |
    sort | tr '\n' ' ')
  [ "$exports" = "$4 " ] || fail "$plugin must export $4 alone, found: ${exports:-none}"
  system_only "$plugin" "$dump"
}
check_plugin "$auo" 'PE32 executable (DLL).*Intel 80386' "$objdump" "GetOutputPluginTable"
check_plugin "$auo2" 'PE32+ executable (DLL).*x86-64' "$objdump64" "GetOutputPluginTable InitializeConfig InitializeLogger InitializePlugin"
names=()
for program in "${programs[@]}"; do
  file "$program" | grep -q 'PE32 executable (console) Intel 80386' || fail "not a 32-bit Windows program: $program"
  system_only "$program" "$("$objdump" -p "$program")"
  names+=("$(basename "$program")")
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$auo" "$stage/Tarvo_output.auo"
cp "$auo2" "$stage/Tarvo_output.auo2"
for program in "${programs[@]}"; do cp "$program" "$stage/"; done
# Notepad of every Windows version reads UTF-8 with a byte-order mark and
# CRLF line ends, whatever the system's code page.
for readme in README.txt README_ja.txt; do
  { printf '\xef\xbb\xbf'; sed 's/$/\r/' "$src/$readme"; } >"$stage/$readme"
done
# Fixed time stamps keep the zip the same for the same inputs.
touch -d '2026-01-01 00:00:00 UTC' "$stage"/*
rm -f "$zip_out"
(cd "$stage" && TZ=UTC zip -q -X "$zip_out.tmp" Tarvo_output.auo Tarvo_output.auo2 README.txt README_ja.txt "${names[@]}")
mv "$zip_out.tmp" "$zip_out"

listed=$(unzip -Z1 "$zip_out" | sort | tr '\n' ' ')
wanted=$(printf '%s\n' README.txt README_ja.txt Tarvo_output.auo Tarvo_output.auo2 "${names[@]}" | sort | tr '\n' ' ')
[ "$listed" = "$wanted" ] || fail "unexpected zip contents: $listed"
echo "dist: $zip_out (imports: $all_imports)"
