#!/usr/bin/env bash
# The real ostrabel.exe under Wine on a virtual screen, in a private network
# and mount namespace: loopback only, a hosts file of its own bind-mounted over
# /etc/hosts that maps every WHOIS server the program knows to 127.0.0.N, and
# fake servers there that replay recorded answers. gui_probe.exe, a second
# program in the same Wine prefix, drives the window from outside (window
# messages, and the keyboard through xdotool) and reads the result box back.
#
#   run_e2e_gui.sh MODE FAKE-SERVER SLOW-SERVER CLI WIN32-BIN SAMPLES ROLES WORK [OUT]
#
# MODE test: lookups typed into the window give the fake servers' answers,
#   byte for byte what ostrabel-cli --raw prints for the same query; the
#   history and the settings survive a restart.
# MODE bench: start-up time, working set at rest and after 100 lookups, and
#   the window thread's longest stall while 20 lookups run at once; the
#   figures go to OUT (and standard output).
# MODE screenshot: the window showing a result, cropped, written to OUT (png).
#
# Exit 77 (skipped) where the namespace, Wine, Xvfb or the Windows build is
# missing. E2E_GUI_TRACE=1 traces the on-screen part (bash -x).
set -uo pipefail
source "$(dirname "$0")/../support/netns.sh"
source "$(dirname "$0")/../../scripts/common.sh"

if [ "${1:-}" != "--inner" ] && [ "${1:-}" != "--gui" ]; then
  [ $# -ge 8 ] || { echo "usage: $0 MODE FAKE SLOW CLI WIN32-BIN SAMPLES ROLES WORK [OUT]" >&2; exit 2; }
  mode=$1 fake=$2 slow=$3 cli=$4 winbin=$5 samples=$6 roles=$7 work=$8 out=${9:-}
  mkdir -p "$work" && work=$(cd "$work" && pwd)
  [ -n "$out" ] && out=$(realpath -m "$out")
  case $mode in test|bench|screenshot) ;; *) echo "unknown mode $mode" >&2; exit 2 ;; esac
  netns_require "the window end-to-end tests" ip mount timeout wine wineboot wineserver xvfb-run xdotool cmp
  [ "$mode" = screenshot ] && ! command -v import >/dev/null && { echo "SKIP: 'import' is missing"; exit 77; }
  for exe in ostrabel.exe gui_probe.exe; do
    [ -f "$winbin/$exe" ] || { echo "SKIP: $winbin/$exe is missing (build the Windows tree first)"; exit 77; }
  done

  run=$work/run-$mode
  rm -rf "$run" && mkdir -p "$run/bin" "$run/out" "$run/answers" || exit 1
  # No whoislist.txt beside the program: it uses its built-in server list.
  cp "$winbin/ostrabel.exe" "$winbin/gui_probe.exe" "$fake" "$slow" "$cli" "$run/bin/" || exit 1
  if [ "$mode" = bench ] && [ -f "$winbin/ostrabel_window_bench.exe" ]; then
    cp "$winbin/ostrabel_window_bench.exe" "$run/bin/" || exit 1
  fi

  arin=$samples/whois.arin.net/arin-net-4.2.2.1-level3-no-referral.txt
  sed 's/^OrgId:/OrgID:/' "$arin" > "$run/answers/arin-orgid.txt"
  sed -n '/^OrgName:/,$p' "$arin" > "$run/answers/arin-org-LVLT.txt"
  cat > "$run/answers.conf" <<CONF
whois.arin.net	144.134.121.81	$samples/whois.arin.net/arin-net-144.134.121.81-apnic-erx.txt
whois.apnic.net	144.134.121.81	$samples/whois.apnic.net/apnic-inetnum-171.0.0.0-starhub.txt
whois.arin.net	192.0.2.1	$run/answers/arin-orgid.txt
whois.arin.net	! o + LVLT	$run/answers/arin-org-LVLT.txt
CONF
  # The slow server's answer for the stall benchmark: no referral, no handle.
  printf 'NetRange:   192.0.2.0 - 192.0.2.255\nNetName:    TEST-NET-1\nComment:    benchmark answer\n' \
    > "$run/answers/slow.txt"
  {
    echo "127.0.0.1 localhost"
    netns_role_hosts "$roles"
    echo "192.0.2.1 host.example.test"
  } > "$run/hosts"

  if [ "$mode" = screenshot ]; then
    # The prefix exactly as scripts/run.sh makes it, so the picture is what
    # a user sees; it is made on the virtual screen below.
    rm -rf "$work/run-prefix"
    wine_env "$work/run-prefix"
  else
    wine_env "$work/wine-prefix"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      timeout 300 wineboot -i >/dev/null 2>&1
      # Without a window manager, hiding a managed window waits for one.
      wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    fi
    # The result box asks for "Courier", which this prefix has no face of
    # (it falls back to a proportional one); a monospaced face stands in, as
    # Courier would on Windows.
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Courier /d 'DejaVu Sans Mono' /f >/dev/null 2>&1
    # A fresh start: no settings from an earlier run.
    wine reg delete 'HKCU\Software\Tarvolk Technologies' /f >/dev/null 2>&1
  fi
  # Sockets live in wineserver: it must start inside the namespace.
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1

  exec timeout 600 unshare --mount --net bash "$0" --inner "$mode" "$run" "$out"
fi

# ---------------------------------------------------------------- namespace
if [ "$1" = "--inner" ]; then
  mode=$2 run=$3 out=$4
  netns_setup "$run/hosts"
  netns_start_servers "fake servers" "$run/bin/fake_whois_replay" "$run/answers.conf" \
    "$run/requests.log" "$run/ready" "$run/fake.err"
  fake_pid=$netns_server_pid
  trap 'kill $fake_pid 2>/dev/null; wineserver -k >/dev/null 2>&1' EXIT
  echo "$fake_pid" > "$run/fake.pid"
  xvfb-run -a -s "-screen 0 1024x768x24" bash ${E2E_GUI_TRACE:+-x} "$0" --gui "$mode" "$run" "$out"
  exit $?
fi

# ---------------------------------------------------------------- on the screen
mode=$2 run=$3 out=$4
bin=$run/bin o=$run/out
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
probe() { (cd "$bin" && timeout 120 wine ./gui_probe.exe "$@"); }
exe="Z:$bin/ostrabel.exe"
program_gone() { # waits (bounded) until this run's ostrabel.exe has ended
  # Wine shows a program's command line as its Windows path.
  for _ in $(seq 200); do pgrep -f -x "$exe" >/dev/null || return 0; sleep 0.1; done
  return 1
}
settings() { wine reg query "HKCU\\Software\\Tarvolk Technologies\\ostrabel\\$1" 2>/dev/null | tr -d '\r'; }

if [ "$mode" = test ]; then
  probe start "$exe" > "$o/start.txt" || { fail "the main window did not appear"; exit 1; }

  # A query set into the field and Return pressed into the window's queue.
  probe lookup 144.134.121.81 > "$o/gui-apnic" || fail "lookup 144.134.121.81 did not end"
  "$bin/ostrabel-cli" --raw 144.134.121.81 > "$o/cli-apnic"
  [ -s "$o/gui-apnic" ] || fail "the result box stayed empty"
  cmp -s "$o/gui-apnic" "$o/cli-apnic" ||
    fail "the result box differs from ostrabel-cli --raw ($(cmp "$o/gui-apnic" "$o/cli-apnic" 2>&1))"
  grep -q "STARHUBINTERNET-SG" "$o/gui-apnic" || fail "the APNIC record is not in the result box"

  # The same through the keyboard: the X focus on the window, the query typed
  # with blanks around it, then Return.
  probe clear
  window=$(xdotool search --name '\[' 2>/dev/null | head -1)
  if [ -z "$window" ]; then
    fail "no X window for the main window"
  else
    xdotool windowfocus --sync "$window" && probe focus
    xdotool type --delay 30 " host.example.test " && xdotool key Return
    probe wait-result "$o/gui-apnic" > "$o/gui-typed" || fail "the typed lookup did not end"
    "$bin/ostrabel-cli" --raw host.example.test > "$o/cli-typed"
    cmp -s "$o/gui-typed" "$o/cli-typed" ||
      fail "the typed lookup differs from ostrabel-cli --raw ($(cmp "$o/gui-typed" "$o/cli-typed" 2>&1))"
    head -c 40 "$o/gui-typed" | grep -qa "^host.example.test:192.0.2.1" ||
      fail "the typed lookup's heading is not NAME:ADDRESS"
    [ "$(probe field)" = "host.example.test" ] || fail "the field does not show the trimmed query"
  fi
  probe history > "$o/history"
  printf 'host.example.test\n144.134.121.81\n' | cmp -s - "$o/history" ||
    fail "history: $(tr '\n' '|' < "$o/history")"

  probe close || fail "the window did not close"
  program_gone || fail "ostrabel.exe did not end"
  settings "IP List" > "$o/ip-list"
  grep -q '1.*REG_SZ.*host.example.test' "$o/ip-list" || fail "history not saved: $(cat "$o/ip-list")"
  grep -q '2.*REG_SZ.*144.134.121.81' "$o/ip-list" || fail "history not saved: $(cat "$o/ip-list")"
  settings Settings > "$o/settings"
  grep -q 'Convert To IP.*REG_DWORD.*0x1' "$o/settings" || fail "option not saved: $(cat "$o/settings")"
  grep -q 'WindowPos.*REG_SZ.*0,1,' "$o/settings" || fail "placement not saved: $(cat "$o/settings")"

  # A restart shows the saved history.
  probe start "$exe" > /dev/null || fail "the window did not appear again"
  probe history > "$o/history-again"
  cmp -s "$o/history" "$o/history-again" || fail "history after restart: $(tr '\n' '|' < "$o/history-again")"
  probe close || fail "the window did not close again"
  program_gone || fail "ostrabel.exe did not end again"

  grep -c . "$run/requests.log" > /dev/null || fail "the fake servers saw no request"
  if [ "$failures" -gt 0 ]; then
    echo "$failures window end-to-end check(s) failed; outputs are in $o"
    exit 1
  fi
  echo "window end-to-end: all checks passed ($(cat "$o/start.txt"))"
  exit 0
fi

if [ "$mode" = screenshot ]; then
  wine_run_prefix "$WINEPREFIX"
  # The virtual screen has no window manager to draw the title bar, as a
  # desktop's would: Wine draws it itself (with fonts-wine's Marlett).
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  probe start "$exe" > /dev/null || { echo "FAIL: no window"; exit 1; }
  probe lookup 144.134.121.81 > /dev/null || { echo "FAIL: the lookup did not end"; exit 1; }
  sleep 1
  read -r x y w h < <(probe rect)
  import -window root "$o/screen.png" && convert "$o/screen.png" -crop "${w}x${h}+${x}+${y}" +repage "$out" ||
    { echo "FAIL: no screenshot"; exit 1; }
  probe close
  program_gone
  echo "screenshot: $out (${w}x${h})"
  exit 0
fi

# ---------------------------------------------------------------- bench
{
  echo "# ostrabel.exe under Wine $(wine --version 2>/dev/null) on Xvfb, $(date -u +%Y-%m-%d)"
  echo "# time from process start to the main window shown (gui_probe start), 5 runs:"
  for i in 1 2 3 4 5; do
    # Into a file, not a pipe: the program started would hold the pipe open.
    probe start "$exe" > "$o/start-$i.txt"
    sed 's/^/start /' "$o/start-$i.txt"
    [ "$i" = 5 ] || { probe close > /dev/null; program_gone; }
  done
  echo "# at rest:"
  probe memory > "$o/rest.txt"; sed 's/^/rest /' "$o/rest.txt"
  probe lookups 100 144.134.121.81 || echo "# the 100 lookups did not all end"
  echo "# after 100 lookups (ARIN and APNIC answers, about 3 KiB each):"
  probe memory > "$o/after.txt"; sed 's/^/after-100 /' "$o/after.txt"
  echo "# the window thread's round trip (SendMessageTimeout WM_NULL from another"
  echo "# process, every millisecond) at rest:"
  probe stall 0 NET-IDLE > "$o/idle.txt"; sed 's/^running/idle/' "$o/idle.txt"
  # Every exchange now takes 1.5 s, so the 20 lookups overlap.
  kill "$(cat "$run/fake.pid")" 2>/dev/null; sleep 0.5
  arin_address=$(awk '$2 == "whois.arin.net" {print $1}' /etc/hosts)
  "$bin/slow_whois" "$arin_address" 1500 "$run/answers/slow.txt" "$run/slow.ready" 2>"$run/slow.err" &
  slow_pid=$!
  for _ in $(seq 100); do [ -e "$run/slow.ready" ] && break; sleep 0.1; done
  echo "# ... while 20 lookups run at once (each answer after 1.5 s):"
  probe stall 20 NET-STALL > "$o/busy.txt"; cat "$o/busy.txt"
  kill "$slow_pid" 2>/dev/null
  probe close > /dev/null
  program_gone
  if [ -f "$bin/ostrabel_window_bench.exe" ]; then
    echo "# inside the program (bench/window_stall_bench.cpp): every message the window"
    echo "# thread handles timed while 20 lookups run at once, each answered after"
    echo "# 1.5 s by an in-memory network; putting the result into the box apart:"
    (cd "$bin" && timeout 120 wine ./ostrabel_window_bench.exe 20 1500) > "$o/inside.txt"
    sed 's/^/inside /' "$o/inside.txt"
  fi
} | tee "$out"
