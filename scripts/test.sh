#!/usr/bin/env bash
# Builds both trees and runs every test of both:
#   1. the native and the Windows builds (32- and 64-bit) (the native end-to-end tests also run
#      the Windows command-line client under Wine, so both are built first);
#   2. the native tests;
#   3. the portable tests again under AddressSanitizer + UndefinedBehaviorSanitizer,
#      and the threaded ones under ThreadSanitizer;
#   4. short bounded runs of the libFuzzer targets (clang);
#   5. the Windows tests under Wine, in a fresh private prefix on a virtual screen
#      (and the 64-bit build's under 64-bit Wine, where it is installed).
set -euo pipefail
source "$(dirname "$0")/common.sh"
"$root/scripts/deps.sh"
started=$(date +%s)
step() { echo "== $* ($(( $(date +%s) - started ))s)"; }

step "native build"
build_native
step "Windows build"
build_win32
step "64-bit Windows build"
build_win64

step "native tests"
(cd "$root/build" && ctest --output-on-failure -j "$jobs")

step "sanitizer build (address, undefined)"
build_sanitized "$root/build-asan" address,undefined
step "tests under AddressSanitizer + UndefinedBehaviorSanitizer"
(cd "$root/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j "$jobs" -LE e2e)

step "sanitizer build (thread)"
build_sanitized "$root/build-tsan" thread
step "threaded tests under ThreadSanitizer"
(cd "$root/build-tsan" && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
   ctest --output-on-failure -j "$jobs" -L threads)

step "fuzz build (clang, libFuzzer)"
cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DOSTRABEL_FUZZ=ON -DOSTRABEL_BENCH=OFF \
  -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build-fuzz" -j "$jobs"
step "short fuzz runs (15 s per target)"
"$root/fuzz/run_fuzz.sh" "$root/build-fuzz" 15

if runs_32bit; then
  step "Windows tests under Wine"
  xvfb-run -a -s "-screen 0 1024x768x24" "$root/scripts/wine-tests.sh" "$root/build-win32"
else
  step "Windows tests under Wine: SKIPPED for the 32-bit build (this kernel runs no 32-bit programs; the 64-bit build of the same sources is tested below)"
fi
if have_wine64; then
  step "64-bit Windows tests under 64-bit Wine"
  OSTRABEL_WINEARCH=win64 xvfb-run -a -s "-screen 0 1024x768x24" "$root/scripts/wine-tests.sh" \
    "$root/build-win64"
fi
step "all tests passed"
