#!/usr/bin/env bash
# Runs one Windows executable under Wine for ctest (64-bit Wine for the
# 64-bit tree, whose toolchain sets OSTRABEL_WINEARCH=win64). The prefix is private to the
# build tree (scripts/test.sh creates it afresh for every test run); the
# environment comes from scripts/common.sh.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../scripts/common.sh"
if [ "${OSTRABEL_WINEARCH:-win32}" = win64 ]; then
  wine_env "${OSTRABEL_WINEPREFIX:-$here/../build-win64/wine-prefix}"
  exec wine "$@"
fi
wine_env "${OSTRABEL_WINEPREFIX:-$here/../build-win32/wine-prefix}"
exec wine "$@"
