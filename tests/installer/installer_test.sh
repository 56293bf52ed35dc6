#!/usr/bin/env bash
# The installer under Wine, in a prefix of its own:
#   installer_test.sh SETUP_EXE SAVE_SERVER_LIST_EXE VERSION WORK_BASE
#
# 1. A silent install puts both programs, the uninstaller, the Start-menu
#    shortcut and the uninstall entry in the user's own places; the program
#    starts through its shortcut in the installed folder, the command-line
#    client runs there, and a Configure save there (whoislist.txt written as
#    the ordinary user) works.
# 2. A silent uninstall removes the program, the shortcut and the uninstall
#    entry and keeps the program's settings. whoislist.txt stays (with its
#    folder and unchanged) only when the user edited it; when it is missing,
#    empty or holds the built-in list, drive C is as it was before the install.
source "$(dirname "$0")/wine_common.sh"
need_display "$@"

[ $# -eq 4 ] || fail "usage: installer_test.sh SETUP_EXE SAVE_SERVER_LIST_EXE VERSION WORK_BASE"
[ -f "$1" ] || fail "no installer at $1"
[ -f "$2" ] || fail "no save_server_list helper at $2"
setup=$(realpath "$1") saver=$(realpath "$2") version=$3

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ostrabel'
settings_key='HKCU\Software\Tarvolk Technologies\ostrabel\Settings'

# The installer and the uninstaller it carries ask Windows for no elevation:
# both manifests say asInvoker.
manifests=$(grep -a -o 'requestedExecutionLevel level="[A-Za-z]*"' "$setup" | sort -u)
[ "$manifests" = 'requestedExecutionLevel level="asInvoker"' ] ||
  fail "installer manifest asks for: ${manifests:-nothing}"

start_wine "$4"
started=$(date +%s)
before=$(snapshot_drive_c)
start_menu="$WINEPREFIX/drive_c/users/$wine_user/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
expected_dir="$WINEPREFIX/drive_c/users/$wine_user/AppData/Local/Programs/Ostrabel"

# The names in a folder on one line, or "(no folder)".
listing() {
  if [ -d "$1" ]; then
    find "$1" -mindepth 1 -maxdepth 1 -printf '%f\n' | LC_ALL=C sort | tr '\n' ' '
  else
    echo "(no folder)"
  fi
}

install() {
  wine_run "$setup" /S || fail "silent install exited with $?"
  [ -f "$expected_dir/ostrabel.exe" ] || fail "no ostrabel.exe in $expected_dir"
}

uninstall() {
  [ -f "$expected_dir/uninstall.exe" ] || fail "no uninstaller in $expected_dir"
  # The uninstaller goes on from a copy of itself in the temporary folder, so
  # that it can delete its own file: wait for that copy too.
  wine_run "$expected_dir/uninstall.exe" /S || fail "silent uninstall exited with $?"
  wine_settle
}

# save MODE: what the Configure dialog's OK does, in the installed folder.
save() { wine_run "$saver" "$install_location" "$1" >/dev/null || fail "saving whoislist.txt ($1) failed"; }

# What an uninstall may leave on drive C: nothing but the uninstaller's own
# copy in the user's temporary folder (Windows does not let a per-user program
# delete a running executable, nor schedule its deletion without elevation).
check_nothing_left() {
  local after extra
  after=$(snapshot_drive_c)
  extra=$(diff <(echo "$before") <(echo "$after") | grep '^[<>]' |
    grep -Ev "^> \./users/$wine_user/Temp/~nsu[^/]*\.tmp(/Un[^/]*\.exe)?\$" || true)
  [ -z "$extra" ] || fail "after uninstalling ($1), drive C differs from before the install:
$extra"
  if wine reg query "$uninstall_key" >/dev/null 2>&1; then
    fail "the uninstall entry is still there after uninstalling ($1)"
  fi
  note "uninstall with $1: nothing left on drive C"
}

# --- 1. Silent install ---------------------------------------------------------
install
files=$(listing "$expected_dir")
[ "$files" = "ostrabel-cli.exe ostrabel.exe uninstall.exe " ] ||
  fail "installed folder holds: $files"
[ -f "$start_menu/Ostrabel.lnk" ] || fail "no Start-menu shortcut in $start_menu"

entry=$(wine reg query "$uninstall_key" | tr -d '\r') || fail "no uninstall entry under $uninstall_key"
value() { sed -n "s/^ *$1 *REG_[A-Z_]* *//p" <<<"$entry"; }
[ "$(value DisplayName)" = Ostrabel ] || fail "DisplayName: $(value DisplayName)"
[ "$(value DisplayVersion)" = "$version" ] || fail "DisplayVersion: $(value DisplayVersion)"
install_location=$(value InstallLocation)
[ "$(unix_path "$install_location")" = "$expected_dir" ] ||
  fail "InstallLocation $install_location is not $expected_dir"
[ "$(value UninstallString)" = "\"$install_location\\uninstall.exe\"" ] ||
  fail "UninstallString: $(value UninstallString)"
note "installed into $install_location; shortcut and uninstall entry present"

# The shortcut starts the installed program (through the shell, as a click
# would); its window appears and it keeps running.
wine start "C:\\users\\$wine_user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Ostrabel.lnk" ||
  fail "starting the shortcut failed"
# The display may be shared with other tests: take only a window of a process
# in this test's prefix.
window_in_prefix() {
  local w pid
  for w in $(xdotool search --onlyvisible --classname '^ostrabel\.exe$' 2>/dev/null); do
    pid=$(xdotool getwindowpid "$w" 2>/dev/null) || continue
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
    echo "$w $pid"
    return 0
  done
  return 1
}
found=""
for ((i = 0; i < 120; i++)); do
  found=$(window_in_prefix) && break
  sleep 0.25
done
[ -n "$found" ] || fail "the shortcut showed no ostrabel.exe window within 30 s"
read -r window program_pid <<<"$found"
tr '\0' ' ' <"/proc/$program_pid/cmdline" | grep -qi 'Programs\\Ostrabel\\ostrabel\.exe' ||
  fail "the shortcut started: $(tr '\0' ' ' <"/proc/$program_pid/cmdline")"
sleep 3
kill -0 "$program_pid" 2>/dev/null || fail "ostrabel.exe ended within 3 s of showing its window"
note "the shortcut starts ostrabel.exe: window '$(xdotool getwindowname "$window")'"
# program_pid is not a child of this shell: end it here.
kill "$program_pid"
for ((i = 0; i < 40; i++)); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.25; done
program_pid=""

# Started directly from the installed folder as well.
start_program "$expected_dir" ostrabel.exe
stop_program
check_cli_version "$expected_dir" "$version"

# A Configure save in the installed folder, as the ordinary user.
save edited
grep -q $'^io:   whois.nic.io\r$' "$expected_dir/whoislist.txt" || fail "the saved whoislist.txt lacks the added record"
note "Configure save into the installed folder works"

# --- 2. Silent uninstall ------------------------------------------------------
wine reg add "$settings_key" /v "Convert To IP" /t REG_DWORD /d 0 /f >/dev/null ||
  fail "could not write a setting"

# An edited list stays, unchanged, alone in its folder.
edited_sum=$(md5sum <"$expected_dir/whoislist.txt")
uninstall
files=$(listing "$expected_dir")
[ "$files" = "whoislist.txt " ] || fail "after uninstalling, the folder holds: $files"
[ "$(md5sum <"$expected_dir/whoislist.txt")" = "$edited_sum" ] || fail "the kept whoislist.txt changed"
[ ! -e "$start_menu/Ostrabel.lnk" ] || fail "the shortcut is still there"
if wine reg query "$uninstall_key" >/dev/null 2>&1; then fail "the uninstall entry is still there"; fi
note "uninstall kept the edited whoislist.txt and nothing else"

# Installing again over a kept list leaves it alone.
install
[ "$(md5sum <"$expected_dir/whoislist.txt")" = "$edited_sum" ] || fail "installing again changed whoislist.txt"

# An edit that keeps the length still counts as an edit.
save same-length
uninstall
files=$(listing "$expected_dir")
[ "$files" = "whoislist.txt " ] || fail "after uninstalling a same-length edit, the folder holds: $files"
note "uninstall kept a same-length edit"
rm -f "$expected_dir/whoislist.txt"
rmdir "$expected_dir" "$(dirname "$expected_dir")"

# Without an edit nothing is left.
install
save default
uninstall
check_nothing_left "whoislist.txt holding the built-in list"

install
save empty
[ ! -s "$expected_dir/whoislist.txt" ] || fail "the empty save wrote bytes"
uninstall
check_nothing_left "an empty whoislist.txt"

install
uninstall
check_nothing_left "no whoislist.txt"

# The program's settings are the user's: every uninstall left them alone.
setting=$(wine reg query "$settings_key" /v "Convert To IP" | tr -d '\r') ||
  fail "the settings key is gone after uninstalling"
grep -q 'Convert To IP *REG_DWORD *0x0' <<<"$setting" || fail "the setting changed: $setting"
note "the settings key survives every uninstall"
note "done in $(($(date +%s) - started)) s"
