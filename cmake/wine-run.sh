#!/usr/bin/env bash
# Runs one Windows executable under Wine for ctest. The prefix is private to the
# build tree (scripts/test.sh creates it afresh for every test run); the
# environment comes from scripts/common.sh.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../scripts/common.sh"
wine_env "${OSTRABEL_WINEPREFIX:-$here/../build-win32/wine-prefix}"
exec wine "$@"
