#!/usr/bin/env bash
# Builds both trees and starts Ostrabel under Wine. With no DISPLAY it starts
# a virtual one (Xvfb) so the program can still run.
set -euo pipefail
source "$(dirname "$0")/common.sh"
"$root/scripts/deps.sh"
build_native
build_win32

wine_env "${OSTRABEL_RUN_PREFIX:-$HOME/.ostrabel-wine}"
[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1 || true
echo "Starting $root/build-win32/bin/ostrabel.exe under Wine (prefix $WINEPREFIX)"
if [ -n "${DISPLAY:-}" ]; then
  exec wine "$root/build-win32/bin/ostrabel.exe"
else
  echo "No DISPLAY: running on a virtual screen (xvfb-run)."
  exec xvfb-run -a -s "-screen 0 1024x768x24" wine "$root/build-win32/bin/ostrabel.exe"
fi
