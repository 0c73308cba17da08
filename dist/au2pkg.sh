#!/usr/bin/env bash
# Builds AviUtl ExEdit2's package, Tarvo.au2pkg.zip, which the editor installs
# when it is dropped on its preview: Plugin/Tarvo/ holds the plug-in and the
# 64-bit tarvo-aac.exe and tarvo-mux.exe (the plug-in's default AAC encoder
# and muxer when they sit beside it), Language/ the language files, and at the
# top package.ini (id Tarvo; uninstalling removes the whole Plugin/Tarvo/) and
# package.txt (shown at install). Refuses what package.sh refuses in a 64-bit
# binary, a language file that is not UTF-8, and two language files of one
# name; no language file at all is fine.
# Usage: au2pkg.sh OUTPUT.zip SOURCE_DIR VERSION OBJDUMP64 PLUGIN.auo2 TARVO-AAC.exe TARVO-MUX.exe [LANGUAGE.aul2...]
set -euo pipefail
zip_out=$(realpath -m "${1:?zip path}")
src=${2:?source folder}
version=${3:?version}
objdump64=${4:?64-bit objdump}
auo2=${5:-}
. "$(dirname "$0")/pe_checks.sh"
[ -n "$auo2" ] || fail "the package needs Tarvo_output.auo2: build it (cmake/mingw-x86_64.cmake) and configure with -DTARVO_AUO2=PATH"
aac=${6:?tarvo-aac.exe}
mux=${7:?tarvo-mux.exe}
shift 7
languages=("$@")

check_plugin "$auo2" 'PE32+ executable (DLL).*x86-64' "$objdump64" "$auo2_exports"
for program in "$aac" "$mux"; do
  check_program "$program" 'PE32+ executable (console) x86-64' "$objdump64"
done
language_names=()
for language in "${languages[@]}"; do
  name=$(basename "$language")
  [[ "$name" == *.aul2 ]] || fail "not a language file (*.aul2): $language"
  iconv -f UTF-8 -t UTF-8 "$language" >/dev/null 2>&1 || fail "language file is not UTF-8: $language"
  [[ " ${language_names[*]} " != *" $name "* ]] || fail "two language files named $name"
  language_names+=("$name")
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/Plugin/Tarvo"
cp "$auo2" "$stage/Plugin/Tarvo/Tarvo_output.auo2"
cp "$aac" "$stage/Plugin/Tarvo/tarvo-aac.exe"
cp "$mux" "$stage/Plugin/Tarvo/tarvo-mux.exe"
entries=(package.ini package.txt Plugin/ Plugin/Tarvo/ Plugin/Tarvo/Tarvo_output.auo2 Plugin/Tarvo/tarvo-aac.exe
  Plugin/Tarvo/tarvo-mux.exe)
if [ ${#languages[@]} -ne 0 ]; then
  mkdir "$stage/Language"
  entries+=(Language/)
  for language in "${languages[@]}"; do
    cp "$language" "$stage/Language/"
    entries+=("Language/$(basename "$language")")
  done
fi
# UTF-8 and CRLF line ends, as Windows' own tools write INI and text files.
# The information is the plug-in's own (its table's).
printf '[package]\r\nid=Tarvo\r\nname=MP4\xe5\x87\xba\xe5\x8a\x9bTarvo\r\ninformation=MP4\xe5\x87\xba\xe5\x8a\x9bTarvo %s\r\nuninstallSubFolderFile=1\r\n' \
  "$version" >"$stage/package.ini"
sed 's/$/\r/' "$src/package.txt" >"$stage/package.txt"
# Fixed time stamps keep the zip the same for the same inputs; the entries
# are named one by one (folders too, without -r) so their order is fixed.
find "$stage" -exec touch -d '2026-01-01 00:00:00 UTC' {} +
rm -f "$zip_out" "$zip_out.tmp"
(cd "$stage" && TZ=UTC zip -q -X "$zip_out.tmp" "${entries[@]}")
mv "$zip_out.tmp" "$zip_out"

listed=$(unzip -Z1 "$zip_out" | sort | tr '\n' ' ')
wanted=$(printf '%s\n' "${entries[@]}" | sort | tr '\n' ' ')
[ "$listed" = "$wanted" ] || fail "unexpected package contents: $listed"
echo "dist: $zip_out (imports: $all_imports)"
