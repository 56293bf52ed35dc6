# Shared by the installer and zip tests (sourced, not run): a private Wine
# prefix in the test's own folder, bounded waits, and clean-up on every exit.

set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/common.sh"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
note() { echo "-- $*"; }

# Without a display (ctest not started under xvfb-run) run the whole script on
# a virtual screen of its own.
need_display() {
  if [ -z "${DISPLAY:-}" ]; then
    exec timeout 600 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
  fi
}

# start_wine BASE: a fresh test folder below BASE with a 32-bit Wine prefix in
# it. Mono, Gecko and the desktop-menu builder stay off (the last would write
# menu entries into the real home folder).
start_wine() {
  mkdir -p "$1"
  work=$(realpath "$(mktemp -d "$1/run.XXXXXX")")
  export TMPDIR="$work/tmp"
  mkdir -p "$TMPDIR"
  wine_env "$work/prefix"
  trap cleanup EXIT
  timeout 120 wineboot -i >/dev/null 2>&1 || fail "wineboot -i did not make the prefix"
  local folder
  wine_user=""
  for folder in "$WINEPREFIX"/drive_c/users/*/; do
    folder=$(basename "$folder")
    [ "$folder" = Public ] || wine_user=$folder
  done
  [ -n "$wine_user" ] || fail "no user folder in the new prefix"
}

cleanup() {
  local status=$?
  stop_program
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    timeout 30 wineserver -w >/dev/null 2>&1 || true
  fi
  if [ -n "${work:-}" ]; then
    if [ "$status" -ne 0 ] && [ -n "${OSTRABEL_KEEP_TEST_DIR:-}" ]; then
      echo "kept $work" >&2
    else
      rm -rf "$work"
    fi
  fi
  exit "$status"
}

# Runs a Windows program to its end, bounded; extra arguments are passed on.
wine_run() { timeout 60 wine "$@"; }

# Waits (bounded) until every process in the prefix has ended, for instance an
# uninstaller that went on from a copy of itself after its first process
# returned.
wine_settle() { timeout 60 wineserver -w || fail "Wine processes still running after 60 s"; }

# C:\... as seen from Linux.
unix_path() {
  local p=${1//\\//}
  case "$p" in
    [Cc]:/*) echo "$WINEPREFIX/drive_c/${p:3}" ;;
    [Zz]:/*) echo "/${p:3}" ;;
    *) fail "not a C: or Z: path: $1" ;;
  esac
}

# Every file and folder of drive C, sorted, without the Windows folder (Wine
# keeps its own state there).
snapshot_drive_c() {
  (cd "$WINEPREFIX/drive_c" && find . -path ./windows -prune -o -print | LC_ALL=C sort)
}

# start_program DIR EXE: starts DIR/EXE with DIR as its working folder, waits
# (at most 30 s) for its visible top-level window with a title that starts
# with "Ostrabel", then checks that the process is still running 3 s later.
# The process stays running until stop_program.
start_program() {
  local dir=$1 exe=$2 window="" title i
  (cd "$dir" && exec wine "./$exe" >/dev/null 2>&1) &
  program_pid=$!
  for ((i = 0; i < 120; i++)); do
    kill -0 "$program_pid" 2>/dev/null || fail "$exe ended before it showed a window"
    window=$(xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.25
  done
  [ -n "$window" ] || fail "$exe showed no window within 30 s"
  title=$(xdotool getwindowname "$window")
  [[ $title == Ostrabel* ]] || fail "$exe window title is '$title'"
  sleep 3
  kill -0 "$program_pid" 2>/dev/null || fail "$exe ended within 3 s of showing its window"
  note "$exe runs from $dir: window '$title'"
}

stop_program() {
  if [ -n "${program_pid:-}" ]; then
    kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
    program_pid=""
  fi
}

# check_cli_version DIR VERSION: DIR/ostrabel-cli.exe --version, run from DIR,
# succeeds and names VERSION.
check_cli_version() {
  local dir=$1 version=$2 out
  out=$(cd "$dir" && timeout 60 wine ./ostrabel-cli.exe --version | tr -d '\r') ||
    fail "ostrabel-cli.exe --version failed in $dir"
  [[ $out == *"$version"* ]] || fail "ostrabel-cli.exe --version printed '$out', not version $version"
  note "ostrabel-cli.exe --version in $dir: $out"
}
