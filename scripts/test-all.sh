#!/usr/bin/env bash
# Builds and runs every test: the native tests three times (plain, AddressSanitizer
# + UndefinedBehaviorSanitizer, ThreadSanitizer), the build against Debian's real
# Media SDK, and the two Windows builds (64-bit .auo2, 32-bit .auo, the
# release zip holding both and ExEdit2's package) with their tests under Wine.
# Usage: scripts/test-all.sh [plain|asan|tsan|intel|windows ...]  (default: all)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" --all

jobs=$(nproc)
stages=("$@")
[ ${#stages[@]} -eq 0 ] && stages=(plain asan tsan intel windows)

configure_and_build() {  # name, cmake options...
  local dir="$root/build-$1"; shift
  cmake -S "$root" -B "$dir" -G Ninja -DTARVO_WERROR=ON "$@" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$jobs"
}

run_ctest() {  # name, ctest options...
  local dir="$root/build-$1"; shift
  rm -f "$dir/Testing/Temporary/LastTestsFailed.log"
  ctest --test-dir "$dir" --output-on-failure --timeout 900 -j "$jobs" "$@"
}

# The failure lines of every failed test of a stage, printed again at the end:
# a long run's log is often read from its tail only.
failure_digest() {  # name
  local log="$root/build-$1/Testing/Temporary/LastTest.log"
  local failed="$root/build-$1/Testing/Temporary/LastTestsFailed.log"
  [ -f "$failed" ] && [ -f "$log" ] || return 0
  local test
  while IFS=: read -r _ test; do
    echo "--- $1: $test"
    awk -v name="$test" '
      $0 ~ "^[0-9]+/[0-9]+ Test: " name "$" { inside = 1; next }
      inside && /^<end of output>/ { exit }
      inside' "$log" |
      grep -E -B2 -A8 ': Failure$|^FAIL|Sanitizer|Timeout|Exception' | head -n 60
  done <"$failed"
}

failed=()
for stage in "${stages[@]}"; do
  echo "=== $stage ==="
  case "$stage" in
    plain) configure_and_build plain && run_ctest plain || failed+=("$stage") ;;
    asan)
      configure_and_build asan -DTARVO_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug &&
        ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
          run_ctest asan || failed+=("$stage") ;;
    tsan)
      configure_and_build tsan -DTARVO_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug &&
        TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 run_ctest tsan || failed+=("$stage") ;;
    intel)
      configure_and_build intel -DTARVO_MFX=intel && run_ctest intel -L intel || failed+=("$stage") ;;
    windows)
      # Both builds, the release zip and the package, as a release makes them.
      "$root/scripts/release.sh" &&
        python3 "$root/tests/dist/au2pkg_test.py" "$root/build-windows/Tarvo.au2pkg.zip" "$root/plugin2/Language" &&
        "$root/tests/wine/run-wine-tests.sh" "$root/build-windows64" &&
        "$root/tests/wine/run-wine-tests.sh" "$root/build-windows" || failed+=("$stage") ;;
    *) echo "unknown stage: $stage" >&2; exit 2 ;;
  esac
done

if [ ${#failed[@]} -ne 0 ]; then
  for stage in "${failed[@]}"; do failure_digest "$stage"; done >&2
  echo "FAILED stages: ${failed[*]}" >&2
  exit 1
fi
echo "all stages passed: ${stages[*]}"
