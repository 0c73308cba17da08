# What the packaging scripts check in a Windows binary before shipping it.
# Sourced by package.sh and au2pkg.sh; needs `file` and the objdump of the
# binary's width.

fail() { echo "dist: $*" >&2; exit 1; }

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

# What the ExEdit2 plug-in exports, in sorted order: the release zip and the
# package check the same DLL.
auo2_exports="GetOutputPluginTable InitializeConfig InitializeLogger InitializePlugin"

check_plugin() {  # plugin, `file` type, objdump, its exports in sorted order
  local plugin=$1 dump exports
  file "$plugin" | grep -q "$2" || fail "not a DLL of the expected kind ($2): $plugin"
  dump=$("$3" -p "$plugin")
  exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed 1d | grep '\[' | awk '{print $NF}' |
    sort | tr '\n' ' ')
  [ "$exports" = "$4 " ] || fail "$plugin must export $4 alone, found: ${exports:-none}"
  system_only "$plugin" "$dump"
}

check_program() {  # program, `file` type, objdump
  file "$1" | grep -q "$2" || fail "not a Windows program of the expected kind ($2): $1"
  system_only "$1" "$("$3" -p "$1")"
}
