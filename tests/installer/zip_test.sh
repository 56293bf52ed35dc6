#!/usr/bin/env bash
# The portable zip under Wine, in a prefix of its own:
#   zip_test.sh ZIP VERSION WORK_BASE
# The archive holds exactly ostrabel.exe and ostrabel-cli.exe at its top, and
# both run from wherever it is unpacked.
source "$(dirname "$0")/wine_common.sh"
need_display "$@"

[ $# -eq 3 ] || fail "usage: zip_test.sh ZIP VERSION WORK_BASE"
[ -f "$1" ] || fail "no zip at $1"
zip=$(realpath "$1") version=$2
case "$(basename "$zip")" in
  "ostrabel-$version-win32.zip" | "ostrabel-$version-win64.zip") ;;
  *) fail "the zip is named $(basename "$zip")" ;;
esac

entries=$(unzip -Z1 "$zip" | LC_ALL=C sort | tr '\n' ' ')
[ "$entries" = "ostrabel-cli.exe ostrabel.exe " ] || fail "the zip holds: $entries"
unzip -tq "$zip" >/dev/null || fail "the zip does not test clean"

start_wine "$3"
portable="$work/portable"
mkdir -p "$portable"
unzip -q "$zip" -d "$portable"

check_cli_version "$portable" "$version"
start_program "$portable" ostrabel.exe
stop_program
note "both programs run from the unpacked zip"
