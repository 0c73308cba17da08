#!/usr/bin/env bash
# Runs the Windows build's tests under Wine, in one prefix per build folder,
# on a virtual X display so that windows and message boxes are real.
# Usage: tests/wine/run-wine-tests.sh BUILD_DIR
# Ends with "N passed, M failed"; any failure, including Wine or Xvfb not
# starting, makes the exit status non-zero. Nothing is ever skipped.
set -euo pipefail
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() { failed=$((failed + 1)); echo "FAIL: $*" >&2; }
summary() { echo "$passed passed, $failed failed"; }
die() {
  echo "run-wine-tests: $*" >&2
  failed=$((failed + 1))
  summary
  exit 1
}

auo="$build/plugin/Tarvo_output.auo"
host_test="$build/tests/wine/tarvo_plugin_host_test.exe"
platform_test="$build/tests/wine/tarvo_platform_test.exe"
dialog_test="$build/tests/wine/tarvo_dialog_test.exe"
for file in "$auo" "$host_test" "$platform_test" "$dialog_test"; do
  [ -f "$file" ] || die "missing $file (build the Windows stage first)"
done

# --- What the build produced: a PE32 DLL with one export and system imports only.
if file "$auo" | grep -q 'PE32 executable (DLL).*Intel 80386'; then pass; else fail "not a PE32 i386 DLL: $auo"; fi
exports=$(i686-w64-mingw32-objdump -p "$auo" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  grep -E '^\s*\[ *[0-9]+\]' || true)
if [ "$(printf '%s' "$exports" | grep -c .)" -eq 1 ] && printf '%s' "$exports" | grep -q '\] GetOutputPluginTable$'; then
  pass
else
  fail "expected exactly the export GetOutputPluginTable, found: $exports"
fi
bad_imports=()
while read -r _ _ dll; do
  case "${dll,,}" in
    kernel32.dll|user32.dll|gdi32.dll|comdlg32.dll|shell32.dll|ole32.dll|advapi32.dll|msvcrt.dll|comctl32.dll|cfgmgr32.dll|dxgi.dll|setupapi.dll) ;;
    *) bad_imports+=("$dll") ;;
  esac
done < <(i686-w64-mingw32-objdump -p "$auo" | grep 'DLL Name')
if [ ${#bad_imports[@]} -eq 0 ]; then pass; else fail "non-system imports: ${bad_imports[*]}"; fi

# --- A Wine that runs. Its loader is a 32-bit x86 program; a kernel without
# 32-bit support (some virtual machines) runs it through qemu's user-mode
# emulator, registered for 32-bit x86 programs with binfmt_misc.
command -v wine >/dev/null || die "wine is not installed (scripts/install-deps.sh installs it)"
binfmt=/proc/sys/fs/binfmt_misc
if ! wine --version >/dev/null 2>&1; then
  command -v qemu-i386 >/dev/null ||
    die "this kernel does not run 32-bit programs and qemu-i386 is missing (scripts/install-deps.sh installs it)"
  qemu_major=$(qemu-i386 --version | sed -n 's/.*version \([0-9]*\)\..*/\1/p;q' || true)
  [ "${qemu_major:-0}" -ge 8 ] || die "qemu-i386 ${qemu_major:-?} cannot run Wine; version 8 or later is needed"
  [ "$(id -u)" -eq 0 ] || die "registering qemu-i386 for 32-bit programs needs root"
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" || die "cannot mount binfmt_misc"
  register_qemu() {
    printf '%s' ':tarvo-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:' \
      >"$binfmt/register" 2>/dev/null || true
  }
  # A run beside this one may register it at the same moment: either entry serves.
  [ -e "$binfmt/tarvo-i386" ] || register_qemu
  if ! wine --version >/dev/null 2>&1; then  # an entry of an older qemu
    echo -1 >"$binfmt/tarvo-i386" 2>/dev/null || true
    register_qemu
  fi
  wine --version >/dev/null 2>&1 || die "wine does not start, not even through qemu-i386"
  echo "run-wine-tests: 32-bit programs run through $(qemu-i386 --version | head -1)"
fi

export WINEPREFIX="$build/wineprefix" WINEARCH=win32 WINEDEBUG=-all
# No Mono or Gecko installers: they would ask on the screen.
export WINEDLLOVERRIDES="mscoree,mshtml="

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# --- A display of our own, on the first free number.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; die "Xvfb did not start"; }
  sleep 0.1
done
[ -s "$work/display" ] || die "Xvfb did not report a display within 10 s"
export DISPLAY=":$(head -n1 "$work/display")"

# --- The prefix: made once per build folder, then reused.
if [ ! -f "$WINEPREFIX/.tarvo-ready" ]; then
  rm -rf "$WINEPREFIX"
  echo "run-wine-tests: creating the Wine prefix $WINEPREFIX"
  start=$SECONDS
  timeout 900 wine wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log" >&2; die "wineboot failed"; }
  timeout 120 wineserver -w || die "wineboot did not settle"
  [ -e "$WINEPREFIX/dosdevices/z:" ] || die "the prefix has no Z: drive"
  touch "$WINEPREFIX/.tarvo-ready"
  echo "run-wine-tests: prefix ready in $((SECONDS - start)) s"
fi
# One server for all the programs: each later start is quick.
wineserver -p

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

run() {  # name, program, arguments...
  local name=$1 log="$work/$1.log" status=0
  shift
  echo "=== $name"
  timeout 600 wine "$@" >"$log" 2>&1 || status=$?
  cat "$log"
  local line
  line=$(grep -E "^$name: [0-9]+ passed, [0-9]+ failed" "$log" | tail -n1 || true)
  if [ -z "$line" ]; then
    fail "$name ended without its summary (exit status $status)"
    return
  fi
  local p f
  read -r p f < <(printf '%s\n' "$line" | sed -E 's/^[^:]+: ([0-9]+) passed, ([0-9]+) failed.*/\1 \2/')
  passed=$((passed + p))
  failed=$((failed + f))
  if [ "$status" -ne 0 ] && [ "$f" -eq 0 ]; then fail "$name exited with status $status"; fi
}

run host "$host_test" "$(windows_path "$auo")"
run platform "$platform_test"
# TARVO_DIALOG_SCREENSHOT=FILE.png keeps a picture of the dialog as it opens.
run dialog "$dialog_test" "$(windows_path "$auo")" ${TARVO_DIALOG_SCREENSHOT:+"$(windows_path "$work/dialog.bmp")"}
if [ -n "${TARVO_DIALOG_SCREENSHOT:-}" ] && [ -f "$work/dialog.bmp" ]; then
  convert "$work/dialog.bmp" "$TARVO_DIALOG_SCREENSHOT"
fi
# The runtime loader against a stand-in runtime; whole exports with the soft
# runtime beside the test program and the recording fakes as the programs.
run loader "$build/tests/wine/loader/bin/loader_check.exe"
programs=("$(windows_path "$auo")" "$(windows_path "$build/tools/fake/neroAacEnc.exe")"
  "$(windows_path "$build/tools/fake/MP4Box.exe")")
run export_e2e "$build/tests/wine/e2e/bin/export_e2e.exe" "${programs[@]}"
# The VPL GPU runtime's name alone beside the program, then both runtimes.
run export_e2e_vpl "$build/tests/wine/e2e/bin/vpl-only/export_e2e.exe" "${programs[@]}" --vpl
run export_e2e_both "$build/tests/wine/e2e/bin/both/export_e2e.exe" "${programs[@]}" --both

# Tests that areas register with CTest in the Windows build (wine is the
# build's test emulator) run in the same prefix and display.
echo "=== ctest"
if WINEDEBUG=-all ctest --test-dir "$build" --output-on-failure --timeout 600; then pass; else fail "ctest in $build"; fi

summary
[ "$failed" -eq 0 ]
