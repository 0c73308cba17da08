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

. "$(dirname "$0")/pe_checks.sh"

[ -n "$auo2" ] || fail "the zip needs Tarvo_output.auo2: build it (cmake/mingw-x86_64.cmake) and configure with -DTARVO_AUO2=PATH"

check_plugin "$auo" 'PE32 executable (DLL).*Intel 80386' "$objdump" "GetOutputPluginTable"
check_plugin "$auo2" 'PE32+ executable (DLL).*x86-64' "$objdump64" "$auo2_exports"
names=()
for program in "${programs[@]}"; do
  check_program "$program" 'PE32 executable (console) Intel 80386' "$objdump"
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
