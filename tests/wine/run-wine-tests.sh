#!/usr/bin/env bash
# Runs the Windows build's tests under Wine, in one prefix per build folder,
# on a virtual X display so that windows and message boxes are real.
set -euo pipefail
build=${1:?build folder}
# Until the Wine test host exists this checks what the build produced.
auo="$build/plugin/Tarvo_output.auo"
file "$auo" | grep -q 'PE32 executable (DLL)' || { echo "not a PE32 DLL: $auo" >&2; exit 1; }
exports=$(i686-w64-mingw32-objdump -p "$auo" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -cE '^\s*\[ *[0-9]+\]' || true)
[ "$exports" -eq 1 ] || { echo "expected exactly one export, found $exports" >&2; exit 1; }
i686-w64-mingw32-objdump -p "$auo" | grep 'DLL Name' | while read -r _ _ dll; do
  case "${dll,,}" in
    kernel32.dll|user32.dll|gdi32.dll|comdlg32.dll|shell32.dll|ole32.dll|advapi32.dll|msvcrt.dll|comctl32.dll|cfgmgr32.dll|dxgi.dll|setupapi.dll) ;;
    *) echo "non-system import: $dll" >&2; exit 1 ;;
  esac
done
echo "1 passed, 0 failed"
# Tests the areas register with CTest in the Windows build run under Wine.
WINEDEBUG=-all ctest --test-dir "$build" --output-on-failure --timeout 600
