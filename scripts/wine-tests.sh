#!/usr/bin/env bash
# The Windows half of the test run, started by scripts/test.sh under xvfb-run:
# the fresh private prefix is made on the same virtual screen the tests use
# (a prefix whose first Wine process had no display cannot create windows later).
set -euo pipefail
source "$(dirname "$0")/common.sh"
tree=${1:-$root/build-win32}
mkdir -p "$tree/tmp"
export TMPDIR="$tree/tmp"
wine_fresh_prefix "$tree/wine-prefix"
trap wine_stop EXIT
managed=$(wine reg query 'HKCU\Software\Wine\X11 Driver' /v Managed 2>/dev/null | tr -d '\r' | awk '/Managed/ {print $3}')
[ "$managed" = "N" ] || echo "warning: Wine's X11 'Managed' setting is '${managed:-unset}', dialogs will close slowly" >&2
cd "$tree"
ctest --output-on-failure -j "$jobs"
