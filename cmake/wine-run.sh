#!/bin/sh
# Runs one Windows executable under Wine for ctest. The prefix is private to the
# build tree (scripts/test.sh creates it afresh for every test run), Mono and
# Gecko are never offered, and Wine's own chatter stays off.
here=$(cd "$(dirname "$0")" && pwd)
: "${OSTRABEL_WINEPREFIX:=$here/../build-win32/wine-prefix}"
export WINEPREFIX="$OSTRABEL_WINEPREFIX"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
export WINEARCH=win32
exec wine "$@"
