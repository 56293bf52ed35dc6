#!/usr/bin/env bash
# Robustness of ostrabel.exe under Wine: garbage in every registry setting, a
# history "Count" of 2147483647, saved placements off every screen, a slow
# server while the window must stay responsive, Abort and close, an answer of
# 100 MiB, and a server list that no lookup or cancelled Configure dialog may
# rewrite.
# Runs in a private network and mount namespace (the servers of the program's
# table are hostile servers on loopback) on a virtual screen of 1024x768,
# with a Wine prefix of its own made on that screen.
#
#   run_hostile_gui.sh OSTRABEL-EXE WINDOW-PROBE-EXE HOSTILE-SERVER SAMPLES ROLES-HEADER WORK-DIR
#
# Exit 77 (skipped) without root, namespaces, Xvfb or the Windows build.
set -uo pipefail
source "$(dirname "$0")/../support/netns.sh"
source "$(dirname "$0")/../../scripts/common.sh"

if [ "${1:-}" != "--inner" ] && [ "${1:-}" != "--screen" ]; then
  [ $# -eq 6 ] || { echo "usage: $0 OSTRABEL-EXE PROBE-EXE SERVER SAMPLES ROLES WORK" >&2; exit 2; }
  exe=$1 probe=$2 server=$3 samples=$4 roles=$5 work=$6
  netns_require "the window tests" ip mount xvfb-run wine wineserver cmp stat perl
  for f in "$exe" "$probe"; do
    [ -f "$f" ] || { echo "SKIP: $f is missing (build the Windows tree first)"; exit 77; }
  done

  run=$work/gui-run
  rm -rf "$run" && mkdir -p "$run/bin" "$run/app" "$run/answers" "$run/tmp" || exit 1
  cp "$server" "$run/bin/" && cp "$probe" "$run/bin/window_probe.exe" && cp "$exe" "$run/app/ostrabel.exe" || exit 1
  uk=$samples/whois.nic.uk/uk-registered-2015.txt
  [ -f "$uk" ] || { echo "FAIL: sample $uk is missing"; exit 1; }
  cat > "$run/answers.conf" <<CONF
whois.arin.net	192.0.2.2	slow 120
whois.arin.net	192.0.2.1	big 100
whois.nic.uk	*	file $uk
CONF
  {
    echo "127.0.0.1 localhost"
    netns_role_hosts "$roles"
  } > "$run/hosts"
  echo "nameserver 127.0.0.1" > "$run/resolv.conf"
  # The user's own server list: binary bytes, lines with a bare line feed,
  # and one good record. No lookup may rewrite it.
  { "$server" --garbage 16 nonul; printf '\nfo: whois.nowhere.test\nuk:   whois.nic.uk\r\n'; } > "$run/app/whoislist.txt"
  touch -d '2001-02-03 04:05:06' "$run/app/whoislist.txt"

  wine_env "$work/gui-wine-prefix"
  export TMPDIR=$run/tmp
  wineserver -k >/dev/null 2>&1 # sockets live in wineserver: it must start inside the namespace
  exec timeout 300 unshare --mount --net bash "$0" --inner "$run"
fi

if [ "$1" = "--inner" ]; then
  run=$2
  netns_setup "$run/hosts" "$run/resolv.conf"
  netns_start_servers "hostile servers" "$run/bin/hostile_server" "$run/answers.conf" \
    "$run/requests.log" "$run/ready" "$run/server.err"
  server_pid=$netns_server_pid
  xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --screen "$run"
  status=$?
  kill $server_pid 2>/dev/null
  exit $status
fi

# ---------------------------------------------------------------- on the screen
run=$2
app=$run/app
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The prefix is made on this screen (one made without a display cannot
# create windows later) and kept for later runs.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  timeout 120 wineboot -i >/dev/null 2>&1
fi
wineserver -p >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1' EXIT
# Wine's desktop and services start now, with their output away from the
# test's (a process that keeps the test's output open would hold it up).
timeout 60 wineboot >/dev/null 2>&1 </dev/null
# Without a window manager, hiding a managed window waits for one.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

key='HKEY_CURRENT_USER\Software\Tarvolk Technologies\ostrabel'
probe_out=
probe() { probe_out=$(timeout 60 wine "$run/bin/window_probe.exe" "$@" 2>/dev/null | tr -d '\r'); }
value() { printf '%s\n' "$probe_out" | sed -n "s/^$1=//p" | head -n 1; }
settings() { # REG-FILE-BODY: replaces every setting of the program
  wine reg delete 'HKCU\Software\Tarvolk Technologies' /f >/dev/null 2>&1
  printf 'REGEDIT4\n\n%s\n' "$1" > "$run/settings.reg"
  timeout 60 wine regedit /s "$(winepath -w "$run/settings.reg" 2>/dev/null)" >/dev/null 2>&1
}
reg_value() { # SECTION VALUE: "TYPE DATA" as reg query prints it
  wine reg query "HKCU\\Software\\Tarvolk Technologies\\ostrabel\\$1" /v "$2" 2>/dev/null | tr -d '\r' |
    sed -n "s/^ *$2  *\(REG_[A-Z_]*\)  *\(.*\)\$/\1 \2/p"
}
app_pid=
start_app() {
  (cd "$app" && exec wine ./ostrabel.exe >/dev/null 2>&1) &
  app_pid=$!
}
stop_app() { # closes with "Close" unless told otherwise; checks the program ended
  probe close "${1:-ok}"
  local gone; gone=$(value process_gone_ms)
  [ "$(value exit_code)" = 0 ] || fail "ostrabel.exe ended with exit code '$(value exit_code)' (window gone after $(value window_gone_ms) ms)"
  for _ in $(seq 50); do kill -0 $app_pid 2>/dev/null || break; sleep 0.1; done
  if kill -0 $app_pid 2>/dev/null; then
    fail "ostrabel.exe did not end after closing"
    kill -9 $app_pid 2>/dev/null
  fi
  wait $app_pid 2>/dev/null
  close_ms=$gone
}
# check_shown NAME: the window appeared soon after start, can be seen and
# lies on the screen.
check_shown() {
  probe find 15000
  if [ "$(value found)" != 1 ]; then
    fail "$1: no window within 15 s"
    return 1
  fi
  printf '  %-26s shown after %5s ms at %s (%sx%s), visible=%s inside=%s\n' "$1" "$(value ms)" \
    "$(value rect)" "$(value width)" "$(value height)" "$(value visible)" "$(value inside)"
  [ "$(value ms)" -lt 10000 ] || fail "$1: the window took $(value ms) ms to appear"
  [ "$(value visible)" = 1 ] || fail "$1: the window is not visible"
  [ "$(value iconic)" = 0 ] || fail "$1: the window is minimised"
  [ "$(value inside)" = 1 ] || fail "$1: the window at $(value rect) is not on the screen ($(value work))"
  [ "$(value width)" -ge 100 ] && [ "$(value height)" -ge 100 ] ||
    fail "$1: the window is only $(value width)x$(value height)"
}
list_stamp() { echo "$(stat -c '%s %Y' "$app/whoislist.txt") $(cksum < "$app/whoislist.txt")"; }
list_before=$(list_stamp)

echo "registry garbage:"
# Every setting of the wrong type, too long, or holding rubbish.
long_text=$(head -c 65536 /dev/zero | tr '\0' '7')
settings "[$key\\Settings]
\"Convert To IP\"=\"yes please\"
\"Minimize\"=hex:ff,ff,ff,ff,ff,ff,ff,ff
\"WindowPos\"=dword:0000abcd

[$key\\IP List]
\"Count\"=\"many\"
\"1\"=dword:00000001
\"2\"=hex:00,01,02"
start_app
check_shown wrong-types
probe history
[ "$(value count)" = 0 ] || fail "wrong-types: the history lists $(value count) entries from a Count that is no number"
stop_app
[ "$(reg_value Settings 'Convert To IP')" = "REG_DWORD 0x1" ] ||
  fail "wrong-types: Convert To IP was saved as '$(reg_value Settings 'Convert To IP')'"

settings "[$key\\Settings]
\"Convert To IP\"=dword:ffffffff
\"Minimize\"=\"1\"
\"WindowPos\"=\"$long_text\"

[$key\\IP List]
\"Count\"=dword:00000003
\"1\"=\"$long_text\"
\"3\"=hex(2):65,00
\"2\"=hex(7):61,00,00,00"
start_app
check_shown rubbish
probe history
[ "$(value count)" = 2 ] && [ "$(value length)" = 65536 ] && [ "$(printf '%s\n' "$probe_out" | sed -n 's/^entry=//p' | tail -n 1)" = e ] ||
  fail "rubbish: the history lists $(value count) entries ($(printf '%s' "$probe_out" | tr '\n' ' ')), expected the long one and 'e'"
stop_app
[ "$(reg_value Settings 'Convert To IP')" = "REG_DWORD 0x0" ] ||
  fail "rubbish: a stored -1 shows as a cleared box and is saved as 0, not '$(reg_value Settings 'Convert To IP')'"

# "Count" at its largest, with a few entries far apart.
settings "[$key\\IP List]
\"Count\"=dword:7fffffff
\"1\"=\"first.example\"
\"2\"=\"second.example\"
\"50\"=\"fiftieth.example\"
\"2147483647\"=\"last.example\""
start_app
check_shown count-max
probe history
[ "$(value count)" -ge 3 ] || fail "count-max: the history lists $(value count) entries"
[ "$(value entry)" = first.example ] || fail "count-max: the first entry is '$(value entry)'"
entries=$(value count)
stop_app
count_after=$(reg_value 'IP List' Count)
[ "$count_after" = "REG_DWORD 0x$(printf '%x' "$entries")" ] || fail "count-max: Count saved as '$count_after' for $entries entries"

echo "placements off every screen:"
for pos in '0,1,-1,-1,-1,-1,5000,4000,5400,4300' '0,1,-1,-1,-1,-1,-30000,-30000,-29600,-29700' \
  '0,1,0,0,0,0,2000000000,2000000000,2147483647,2147483647' '0,1,0,0,0,0,-2147483648,-2147483648,-2147483000,-2147483000' \
  '0,1,0,0,0,0,3000,100,1000,500' '0,1,0,0,0,0,-9000,-9000,9000,9000' '2,3,0,0,-1,-1,8000,8000,8400,8300' \
  '0,4294967295,0,0,0,0,6000,6000,6400,6300'; do
  settings "[$key\\Settings]
\"WindowPos\"=\"$pos\""
  start_app
  check_shown "$pos"
  stop_app
done

echo "slow server:"
settings ""
start_app
check_shown slow-start
probe query 192.0.2.2
probe press 1001
sleep 1.5
probe text 1001
[ "$(value text)" = Abort ] || fail "slow: the button reads '$(value text)' while the lookup runs"
probe ping 10
echo "  while one byte a second arrives: slowest answer $(value slowest_ms) ms, unanswered $(value unanswered)"
[ "$(value unanswered)" = 0 ] && [ "$(value slowest_ms)" -lt 500 ] || fail "slow: the window does not answer promptly"
probe press 1001
echo "  Abort handled in $(value ms) ms"
[ "$(value answered)" = 1 ] && [ "$(value ms)" -lt 500 ] || fail "slow: Abort took $(value ms) ms"
probe text 1001
[ "$(value text)" = '&Lookup' ] || fail "slow: after Abort the button reads '$(value text)'"
probe press 1001 # again, and close while it runs
sleep 1
stop_app ok
echo "  closed during the lookup: the program ended $close_ms ms after Close"
[ "$close_ms" -ge 1000 ] && [ "$close_ms" -lt 2500 ] || fail "slow: closing took $close_ms ms, expected the second of the close sequence and a little more"
start_app
check_shown slow-again
probe query 192.0.2.2
probe press 1001
sleep 1
stop_app box
echo "  closed by the close box during the lookup: $close_ms ms"
[ "$close_ms" -ge 1000 ] && [ "$close_ms" -lt 2500 ] || fail "slow: closing by the close box took $close_ms ms"

echo "100 MiB answer:"
settings ""
start_app
check_shown big-start
probe query 192.0.2.1
probe press 1001
started=$(date +%s%N)
slowest_probe=0 # how long the window kept a question waiting while it took the text in
for _ in $(seq 120); do
  asked=$(date +%s%N)
  probe text 1001
  took=$(( ($(date +%s%N) - asked) / 1000000 ))
  [ $took -gt $slowest_probe ] && slowest_probe=$took
  [ "$(value text)" = '&Lookup' ] && break
  sleep 0.5
done
shown_ms=$(( ($(date +%s%N) - started) / 1000000 ))
[ "$(value text)" = '&Lookup' ] || fail "big: no result within 60 s"
probe ping 5
responsive=$(value slowest_ms)
probe text-length 1002
peak_kb=$(awk '/^VmHWM:/ {print $2}' /proc/$app_pid/status 2>/dev/null)
echo "  result of $(value length) characters shown after about $shown_ms ms (a question took up to $slowest_probe ms meanwhile); slowest answer then $responsive ms; peak memory $((${peak_kb:-0} / 1024)) MiB"
[ -n "$peak_kb" ] && [ "$peak_kb" -lt $((300 * 1024)) ] || fail "big: peak memory ${peak_kb:-?} kB"
# The box shows at most 256 KiB of it (cut at a line end, plus one line saying
# so), so taking the text in never freezes the window for long.
shown_length=$(value length)
[ "$shown_length" -gt $((250 * 1024)) ] && [ "$shown_length" -le $((256 * 1024 + 80)) ] \
  || fail "big: the result box holds $shown_length characters, expected the first 256 KiB and the notice"
[ "$slowest_probe" -lt 2000 ] || fail "big: the window kept a question waiting $slowest_probe ms while it took the result in"
[ "$responsive" -lt 500 ] || fail "big: the window answers in $responsive ms with the result shown"
stop_app

echo "server list:"
settings ""
start_app
check_shown list
probe query example.uk
probe uncheck 1004 # "Convert To IP" off: the domain goes to its registry
probe press 1001
for _ in $(seq 50); do probe text 1001; [ "$(value text)" = '&Lookup' ] && break; sleep 0.2; done
probe text 1002
case "$probe_out" in *google.co.uk*) ;; *) fail "list: the lookup through the user's list shows '$(value text | head -c 80)'" ;; esac
probe press 3 & # Configure, cancelled
configure=$!
wine "$run/bin/window_probe.exe" cancel-dialog 2>/dev/null | grep -q 'dialog=1' || fail "list: no Configure dialog to cancel"
wait $configure
stop_app
[ "$(list_stamp)" = "$list_before" ] || fail "list: whoislist.txt was rewritten ($list_before -> $(list_stamp))"

if [ "$failures" -gt 0 ]; then
  echo "$failures window check(s) failed"
  exit 1
fi
echo "window tests: all checks passed"
