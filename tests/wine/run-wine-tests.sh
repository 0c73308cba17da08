#!/usr/bin/env bash
# Runs the Windows build's tests under Wine, in one prefix per build folder,
# on a virtual X display so that windows and message boxes are real. The
# 32-bit build (the .auo) runs under 32-bit Wine, the 64-bit build (the .auo2)
# under 64-bit Wine in a 64-bit prefix; the script tells them apart by what
# the build produced.
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

if [ -f "$build/plugin2/Tarvo_output.auo2" ]; then
  width=64
  plugin="$build/plugin2/Tarvo_output.auo2"
  objdump=x86_64-w64-mingw32-objdump
  file_type='PE32+ executable (DLL).*x86-64'
  expected_exports="GetOutputPluginTable InitializeConfig InitializeLogger InitializePlugin"
  programs=("$build/tests/wine64/bin/exedit2_host_test.exe" "$build/tests/wine64/bin/tarvo_platform_test64.exe")
else
  width=32
  plugin="$build/plugin/Tarvo_output.auo"
  objdump=i686-w64-mingw32-objdump
  file_type='PE32 executable (DLL).*Intel 80386'
  expected_exports="GetOutputPluginTable"
  programs=("$build/tests/wine/tarvo_plugin_host_test.exe" "$build/tests/wine/tarvo_platform_test.exe"
    "$build/tests/wine/tarvo_dialog_test.exe")
fi
for file in "$plugin" "${programs[@]}"; do
  [ -f "$file" ] || die "missing $file (build the Windows stage first)"
done

# --- What the build produced: a DLL of its width with only its exports and
# system imports.
if file "$plugin" | grep -q "$file_type"; then pass; else fail "not a $width-bit Windows DLL: $plugin"; fi
exports=$("$objdump" -p "$plugin" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  grep -E '^\s*\[ *[0-9]+\]' | awk '{print $NF}' | sort | tr '\n' ' ' || true)
if [ "$exports" = "$(tr ' ' '\n' <<<"$expected_exports" | sort | tr '\n' ' ')" ]; then
  pass
else
  fail "expected exactly the exports $expected_exports, found: $exports"
fi
bad_imports=()
while read -r _ _ dll; do
  case "${dll,,}" in
    kernel32.dll|user32.dll|gdi32.dll|comdlg32.dll|shell32.dll|ole32.dll|advapi32.dll|msvcrt.dll|comctl32.dll|cfgmgr32.dll|dxgi.dll|setupapi.dll|winmm.dll) ;;
    *) bad_imports+=("$dll") ;;
  esac
done < <("$objdump" -p "$plugin" | grep 'DLL Name')
if [ ${#bad_imports[@]} -eq 0 ]; then pass; else fail "non-system imports: ${bad_imports[*]}"; fi

# --- A Wine that runs. Its loader is a 32-bit x86 program; a kernel without
# 32-bit support (some virtual machines) runs it through qemu's user-mode
# emulator, registered for 32-bit x86 programs with binfmt_misc.
command -v wine >/dev/null || die "wine is not installed (scripts/install-deps.sh installs it)"
binfmt=/proc/sys/fs/binfmt_misc
if [ "$width" = 64 ]; then
  # Debian's 64-bit loader, named directly: the wine wrapper prefers the
  # 32-bit one whenever it is installed.
  wine=/usr/lib/wine/wine64
  [ -x "$wine" ] || die "64-bit Wine is not installed (scripts/install-deps.sh installs wine64)"
  export WINELOADER=$wine WINEARCH=win64
  "$wine" --version >/dev/null 2>&1 || die "64-bit Wine does not start"
elif ! wine --version >/dev/null 2>&1; then
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
if [ "$width" = 32 ]; then
  wine=wine
  export WINEARCH=win32
fi

export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all
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
  timeout 900 "$wine" wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log" >&2; die "wineboot failed"; }
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
  timeout 600 "$wine" "$@" >"$log" 2>&1 || status=$?
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

fakes=("$(windows_path "$build/tools/fake/neroAacEnc.exe")" "$(windows_path "$build/tools/fake/MP4Box.exe")")
if [ "$width" = 64 ]; then
  # ExEdit2's view: the table, the settings file, the dialog and whole exports.
  run exedit2_host "${programs[0]}" "$(windows_path "$plugin")" "${fakes[@]}"
  run platform "${programs[1]}"
else
  run host "${programs[0]}" "$(windows_path "$plugin")"
  run platform "${programs[1]}"
  # TARVO_DIALOG_SCREENSHOT=FILE.png keeps a picture of the dialog as it opens.
  run dialog "${programs[2]}" "$(windows_path "$plugin")" ${TARVO_DIALOG_SCREENSHOT:+"$(windows_path "$work/dialog.bmp")"}
  if [ -n "${TARVO_DIALOG_SCREENSHOT:-}" ] && [ -f "$work/dialog.bmp" ]; then
    convert "$work/dialog.bmp" "$TARVO_DIALOG_SCREENSHOT"
  fi
  # The runtime loader against a stand-in runtime; whole exports with the soft
  # runtime beside the test program and the recording fakes as the programs.
  run loader "$build/tests/wine/loader/bin/loader_check.exe"
  e2e_args=("$(windows_path "$plugin")" "${fakes[@]}")
  # Each run keeps the streams the fake muxer received (TARVO_E2E_STREAMS) for
  # the native checks below.
  mkdir -p "$work/streams/export_e2e" "$work/streams/export_e2e_vpl" "$work/streams/export_e2e_both"
  TARVO_E2E_STREAMS=$(windows_path "$work/streams/export_e2e") \
    run export_e2e "$build/tests/wine/e2e/bin/export_e2e.exe" "${e2e_args[@]}"
  # The VPL GPU runtime's name alone beside the program, then both runtimes.
  TARVO_E2E_STREAMS=$(windows_path "$work/streams/export_e2e_vpl") \
    run export_e2e_vpl "$build/tests/wine/e2e/bin/vpl-only/export_e2e.exe" "${e2e_args[@]}" --vpl
  TARVO_E2E_STREAMS=$(windows_path "$work/streams/export_e2e_both") \
    run export_e2e_both "$build/tests/wine/e2e/bin/both/export_e2e.exe" "${e2e_args[@]}" --both

  # Natively: FFmpeg puts each kept stream of the null encoder into an MP4 and
  # reads it back (codec, profile, pixel format, frame count), and decodes the
  # stream without a message (from the stream itself: FFmpeg's raw demuxers
  # give B-frames no exact times, which an MP4 of theirs would carry). The
  # list is written on Windows: its lines end in CR LF.
  echo "=== null encoder streams (native FFmpeg)"
  kept=0
  for list in "$work"/streams/*/streams.txt; do
    [ -f "$list" ] || continue
    while read -r file codec profile format frames; do
      kept=$((kept + 1))
      dir=$(dirname "$list") what="$(basename "$dir")/$file"
      demuxer=$codec
      [ "$codec" = av1 ] && demuxer=obu
      mp4=$dir/$file.mp4
      if ! timeout 60 ffmpeg -nostdin -v error -y -f "$demuxer" -i "$dir/$file" -c copy "$mp4"; then
        fail "$what: FFmpeg cannot mux it"
        continue
      fi
      got=$(timeout 60 ffprobe -v error -select_streams v:0 -count_packets \
        -show_entries stream=codec_name,profile,pix_fmt,nb_read_packets -of default=nw=1:nk=1 "$mp4" | tr '\n' ' ')
      want="$codec ${profile//_/ } $format $frames "
      if [ "$got" = "$want" ]; then pass; else fail "$what: '$got', expected '$want'"; fi
      messages=$(timeout 60 ffmpeg -nostdin -v error -f "$demuxer" -i "$dir/$file" -f null - 2>&1)
      decoded=$(timeout 60 ffprobe -v error -f "$demuxer" -count_frames -select_streams v:0 \
        -show_entries stream=nb_read_frames -of csv=p=0 "$dir/$file")
      if [ -z "$messages" ] && [ "$decoded" = "$frames" ]; then pass; else
        fail "$what: decoded $decoded of $frames frames: $messages"
      fi
    done < <(tr -d '\r' <"$list")
  done
  if [ "$kept" -ge 8 ]; then pass; else fail "only $kept streams kept by export_e2e"; fi
fi

# Tests that areas register with CTest in the Windows build (wine is the
# build's test emulator) run in the same prefix and display.
echo "=== ctest"
if WINEDEBUG=-all ctest --test-dir "$build" --output-on-failure --timeout 600; then pass; else fail "ctest in $build"; fi

summary
[ "$failed" -eq 0 ]
