#!/usr/bin/env bash
# Builds both trees and starts Ostrabel under Wine. With no DISPLAY it starts
# a virtual one (Xvfb) so the program can still run. The Wine prefix is made
# on the same display the program then uses: a prefix whose first Wine process
# had no display cannot create windows afterwards.
set -euo pipefail
source "$(dirname "$0")/common.sh"
exe="$root/build-win32/bin/ostrabel.exe"
if ! runs_32bit; then
  # A kernel without 32-bit support runs the 64-bit build of the same sources.
  exe="$root/build-win64/bin/ostrabel.exe"
  export OSTRABEL_WINEARCH=win64
  : "${OSTRABEL_RUN_PREFIX:=$HOME/.ostrabel-wine64}"
fi

if [ "${1:-}" = "--start" ]; then
  wine_run_prefix "${OSTRABEL_RUN_PREFIX:-$HOME/.ostrabel-wine}"
  exec wine "$exe"
fi

"$root/scripts/deps.sh"
build_native
build_win32
runs_32bit || build_win64
echo "Starting $exe under Wine (prefix ${OSTRABEL_RUN_PREFIX:-$HOME/.ostrabel-wine})"
if [ -n "${DISPLAY:-}" ]; then
  exec "$0" --start
else
  echo "No DISPLAY: running on a virtual screen (xvfb-run)."
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --start
fi
