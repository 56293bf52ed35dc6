#!/usr/bin/env bash
# Builds both trees and runs every test of both: the native tests (fast), then
# the Windows tests under Wine in a fresh private prefix on a virtual screen.
set -euo pipefail
source "$(dirname "$0")/common.sh"
"$root/scripts/deps.sh"

echo "== native build"
build_native
echo "== native tests"
(cd "$root/build" && ctest --output-on-failure -j "$jobs")

echo "== Windows build"
build_win32
echo "== Windows tests under Wine"
mkdir -p "$root/build-win32/tmp"
export TMPDIR="$root/build-win32/tmp"
wine_fresh_prefix "$root/build-win32/wine-prefix"
trap wine_stop EXIT
(cd "$root/build-win32" && xvfb-run -a -s "-screen 0 1024x768x24" \
   ctest --output-on-failure -j "$jobs")
