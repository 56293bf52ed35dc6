#!/usr/bin/env bash
# End-to-end run of ostrabel-cli (native, and the Windows build under Wine)
# against fake WHOIS servers that replay recorded answers. Everything runs in
# a private network and mount namespace: loopback only, and a hosts file of
# the test's own bind-mounted over /etc/hosts, which maps every server host
# the program knows to an address 127.0.0.N where a fake server listens on
# port 43.
#
#   run_e2e.sh CLI FAKE-SERVER DRIVER-REPLAY WINDOWS-CLI SAMPLES ROLES-HEADER WORK-DIR
#
# Exit 77 (skipped) where namespaces cannot be made (not root, no unshare).
set -uo pipefail
source "$(dirname "$0")/../support/netns.sh"
source "$(dirname "$0")/../../scripts/common.sh"

if [ "${1:-}" != "--inner" ]; then
  [ $# -eq 7 ] || { echo "usage: $0 CLI FAKE-SERVER DRIVER-REPLAY WINDOWS-CLI SAMPLES ROLES WORK" >&2; exit 2; }
  cli=$1 fake=$2 replay=$3 wincli=$4 samples=$5 roles=$6 work=$7
  netns_require "end-to-end tests" ip mount timeout cmp

  rm -rf "$work/run" && mkdir -p "$work/run/bin" "$work/run/answers" "$work/run/out" || exit 1
  # The programs run from a folder of their own: no whoislist.txt beside them,
  # so they use the built-in server list.
  cp "$cli" "$fake" "$replay" "$work/run/bin/" || exit 1

  # Today's ARIN writes "OrgId:"; the organisation follow-up looks for the
  # older "OrgID:". The organisation's own record is the org block of the
  # same answer (ARIN's organisation answer has the same fields).
  arin=$samples/whois.arin.net/arin-net-4.2.2.1-level3-no-referral.txt
  sed 's/^OrgId:/OrgID:/' "$arin" > "$work/run/answers/arin-orgid.txt"
  sed -n '/^OrgName:/,$p' "$arin" > "$work/run/answers/arin-org-LVLT.txt"

  # IANA names the server of a TLD the list lacks; ARIN refers an African
  # network to AFRINIC by its "ReferralServer:" line.
  printf 'domain:       XYZ\n\nwhois:        whois.nic.xyz\n' > "$work/run/answers/iana-xyz.txt"
  printf 'Domain Name: EXAMPLE.XYZ\nRegistrar: Example Registrar\n' > "$work/run/answers/nic-xyz.txt"
  printf 'NetName:        NET105\nOrg:   (AFRINIC)\nReferralServer:  whois://whois.afrinic.net\n' \
    > "$work/run/answers/arin-afrinic.txt"
  printf 'Domain: parked.de\nStatus: connect\n' > "$work/run/answers/denic-parked.txt"

  cat > "$work/run/answers.conf" <<CONF
whois.verisign-grs.com	domain google.net	$samples/whois.crsnic.net/crsnic-google.net-2009.txt
whois.markmonitor.com	google.net	$samples/whois.markmonitor.com/markmonitor-registered-2011.txt
whois.arin.net	144.134.121.81	$samples/whois.arin.net/arin-net-144.134.121.81-apnic-erx.txt
whois.apnic.net	144.134.121.81	$samples/whois.apnic.net/apnic-inetnum-171.0.0.0-starhub.txt
whois.arin.net	130.66.76.222	$samples/whois.arin.net/arin-net-130.66.76.222-ripe-erx-whois-referral.txt
whois.ripe.net	130.66.76.222	$samples/whois.ripe.net/ripe-inetnum-128.79.0.0-bouygues.txt
whois.arin.net	174.0.0.1	$samples/whois.arin.net/arin-net-174-shaw-rwhois-referral.txt
whois.arin.net	192.0.2.1	$work/run/answers/arin-orgid.txt
whois.arin.net	! o + LVLT	$work/run/answers/arin-org-LVLT.txt
whois.alt.test	*	$samples/whois.ripe.net/ripe-inetnum-128.79.0.0-bouygues.txt
whois.alt.test:4343	*	$samples/whois.apnic.net/apnic-inetnum-171.0.0.0-starhub.txt
silent.test	*	:silent
whois.pir.org	*	:silent
whois.iana.org	xyz	$work/run/answers/iana-xyz.txt
whois.nic.xyz	example.xyz	$work/run/answers/nic-xyz.txt
whois.verisign-grs.com	domain google.com	$samples/whois.verisign-grs.com/verisign-google.com-2017.txt
whois.markmonitor.com	google.com	$samples/whois.markmonitor.com/markmonitor-google.com-2013.txt
whois.arin.net	105.158.0.1	$work/run/answers/arin-afrinic.txt
whois.afrinic.net	105.158.0.1	$samples/whois.afrinic.net/afrinic-inetnum-105.158.0.0-maroc-telecom.txt
whois.denic.de	xn--bcher-kva.de	$samples/whois.denic.de/denic-registered-2013.txt
whois.denic.de	parked.de	$work/run/answers/denic-parked.txt
CONF

  # Every role host, then the registrar the .net registry refers to, then a
  # name that "Convert To IP" resolves.
  {
    echo "127.0.0.1 localhost"
    netns_role_hosts "$roles"
    echo "127.0.0.$netns_next whois.markmonitor.com"
    echo "192.0.2.1 host.example.test"
    # For -h: a server on 43 and 4343, one that never answers, and an
    # address where nothing listens.
    echo "127.0.1.1 whois.alt.test"
    echo "127.0.1.2 silent.test"
    echo "127.0.1.3 refused.test"
    echo "127.0.1.4 whois.nic.xyz"; echo "127.0.1.5 whois.afrinic.net"
  } > "$work/run/hosts"

  if [ -f "$wincli" ]; then
    cp "$wincli" "$work/run/bin/ostrabel-cli.exe" || exit 1
    netns_wine_prefix "$work/wine-prefix" "$work/run/tmp"
  else
    echo "NOTE: $wincli is missing: the Windows half is skipped (build the Windows tree first)"
  fi

  exec timeout 500 unshare --mount --net bash "$0" --inner "$work/run" "$([ -f "$wincli" ] && echo yes || echo no)"
fi

# ---------------------------------------------------------------- inside
run=$2 withwine=$3
bin=$run/bin out=$run/out
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

netns_setup "$run/hosts"

netns_start_servers "fake servers" "$bin/fake_whois_replay" "$run/answers.conf" "$run/requests.log" \
  "$run/ready" "$run/fake.err"
fake_pid=$netns_server_pid
cleanup() {
  kill "$fake_pid" 2>/dev/null
  [ "$withwine" = yes ] && wineserver -k >/dev/null 2>&1
}
trap cleanup EXIT

# run NAME EXPECTED-STATUS ARGS...: native, in-process driver (for --raw) and
# Windows; all must agree byte for byte.
check() {
  local name=$1 want=$2; shift 2
  local convert=--convert-to-ip query=${*: -1} classic=()
  [[ " $* " == *" --no-convert-to-ip "* ]] && convert=--no-convert-to-ip
  [[ " $* " == *" --classic "* ]] && classic=(--classic)
  local before; before=$(wc -l < "$run/requests.log")

  timeout 60 "$bin/ostrabel-cli" "$@" > "$out/$name.native" 2> "$out/$name.native.err"
  local status=$?
  cp "$out/$name.native" "$out/$name.native.whole"
  netns_records "$out/$name.native"
  [ "$status" = "$want" ] || fail "$name: native exit status $status, expected $want"
  [ -s "$out/$name.native.err" ] && fail "$name: native wrote to stderr: $(cat "$out/$name.native.err")"
  tail -n +$((before + 1)) "$run/requests.log" > "$out/$name.requests"

  if [[ " $* " == *" --raw "* ]]; then
    timeout 60 "$bin/e2e_driver_replay" "$run/answers.conf" "$convert" "${classic[@]}" "$query" > "$out/$name.driver"
    netns_records "$out/$name.driver"
    cmp -s "$out/$name.native" "$out/$name.driver" ||
      fail "$name: ostrabel-cli --raw differs from the in-process driver"
  fi

  if [ "$withwine" = yes ]; then
    # A UTF-8 locale: Wine hands a name typed in UTF-8 to the program in the
    # system code page, as a window would.
    (cd "$bin" && LC_ALL=C.UTF-8 timeout 120 wine ./ostrabel-cli.exe "$@") > "$out/$name.wine" 2> "$out/$name.wine.err"
    local wstatus=$?
    netns_records "$out/$name.wine"
    [ "$wstatus" = "$want" ] || fail "$name: Windows exit status $wstatus, expected $want"
    cmp -s "$out/$name.native" "$out/$name.wine" ||
      fail "$name: Windows output differs from native ($(cmp "$out/$name.native" "$out/$name.wine" 2>&1))"
  fi
}
requests_are() { # NAME, then the expected "HOST<TAB>REQUEST" lines (native run only)
  local name=$1; shift
  if [ $# -eq 0 ]; then
    [ ! -s "$out/$name.requests" ] || fail "$name: requests were: $(tr '\t\n' '|;' < "$out/$name.requests"), expected none"
    return
  fi
  printf '%s\n' "$@" | cmp -s - "$out/$name.requests" ||
    fail "$name: requests were: $(tr '\t\n' '|;' < "$out/$name.requests"), expected: $*"
}
has() { grep -qF -- "$2" "$out/$1.native" || fail "$1: output lacks '$2'"; }
lacks() { ! grep -qF -- "$2" "$out/$1.native" || fail "$1: output still holds '$2'"; }
T=$'\t'

# A domain: the .net registry refers to the registrar's server.
check domain 0 --no-convert-to-ip google.net
requests_are domain "whois.verisign-grs.com${T}domain google.net" "whois.markmonitor.com${T}google.net"
has domain "Registrar Whois: whois.markmonitor.com"
lacks domain "Whois Server Version 2.0"
check domain-raw 0 --raw --no-convert-to-ip google.net

# ARIN refers to APNIC (whose copyright header is cut) and to RIPE.
check apnic 0 144.134.121.81
requests_are apnic "whois.arin.net${T}144.134.121.81" "whois.apnic.net${T}144.134.121.81"
head -c 60 "$out/apnic.native" | grep -q "^144.134.121.81$" || fail "apnic: heading missing"
has apnic "netname:        STARHUBINTERNET-SG"
# The owner summary above the records (the default mode).
head -n 7 "$out/apnic.native.whole" | cmp -s - <(printf '%s\n' \
  "Network:       171.0.0.0 - 171.1.255.255" "Name:          STARHUBINTERNET-SG" \
  "Owner:         Starhub Ltd." "Country:       SG" "Abuse contact: abuse@starhub.com" \
  "Source:        WHOIS whois.arin.net, whois.apnic.net" "") ||
  fail "apnic: summary is $(head -n 7 "$out/apnic.native.whole" | tr '\n' '|')"
lacks apnic "dbcopyright"
check apnic-raw 0 --raw 144.134.121.81
check ripe-raw 0 --raw 130.66.76.222
requests_are ripe-raw "whois.arin.net${T}130.66.76.222" "whois.ripe.net${T}130.66.76.222"
has ripe-raw "BOUYGTEL-ISP-CABLE"

# A network list: ARIN is asked again for the last handle (nothing known).
check handle-raw 0 --raw 174.0.0.1
requests_are handle-raw "whois.arin.net${T}174.0.0.1" "whois.arin.net${T}SHAWC"

# The organisation record, and the same lookup by name ("Convert To IP").
check org-raw 0 --raw 192.0.2.1
requests_are org-raw "whois.arin.net${T}192.0.2.1" "whois.arin.net${T}! o + LVLT"
# The record from "Address:" on, its ": " widened, filtered twice (CR CR LF),
# then the OrgID line.
org_text=$(cat "$out/org-raw.native")
[[ "$org_text" == *$'\r\nAddress:'"           1025 Eldorado Blvd."$'\r\r\nCity:'* ]] ||
  fail "org-raw: the organisation record does not start at its address"
[[ "$org_text" == *$'/whois_tou.html\r\r\n#\r\nOrgID:          LVLT\r\nAddress:'* ]] ||
  fail "org-raw: the record does not end just before the OrgID line"
check org 0 192.0.2.1
check by-name-raw 0 --raw host.example.test
head -c 40 "$out/by-name-raw.native" | grep -qa "^host.example.test:192.0.2.1" ||
  fail "by-name-raw: heading is not NAME:ADDRESS"

# modes NAME STATUS CLASSIC-STATUS REQUESTS CLASSIC-REQUESTS ARGS...: checks the
# lookup in the default mode and with --classic (NAME-classic); the requests
# are "HOST<TAB>REQUEST" items joined by ";".
modes() {
  local name=$1 want=$2 wantc=$3 reqs=$4 reqsc=$5 items; shift 5
  check "$name" "$want" "$@"
  IFS=';' read -ra items <<< "$reqs"; requests_are "$name" "${items[@]}"
  check "$name-classic" "$wantc" --classic "$@"
  IFS=';' read -ra items <<< "$reqsc"; requests_are "$name-classic" "${items[@]}"
}
# Failures in both modes: no server for the extension (IANA knows none), a
# name that does not resolve.
modes unknown-tld 1 1 "whois.iana.org${T}zz" "" --no-convert-to-ip example.zz
has unknown-tld "I do not know the whois server for this domain extension"
modes unresolvable 1 1 "whois.iana.org${T}test" "" --raw nowhere.example.test
has unresolvable-classic "Unable to resolve host"
cmp -s "$out/unresolvable.native" "$out/unresolvable-classic.native" || fail "unresolvable: modes differ"

# Today's Internet: the default finds the owner, --classic asks what it always asked.
modes iana 0 1 "whois.iana.org${T}xyz;whois.nic.xyz${T}example.xyz" "" --raw --no-convert-to-ip example.xyz
modes registrar 0 0 "whois.verisign-grs.com${T}domain google.com;whois.markmonitor.com${T}google.com" \
  "whois.verisign-grs.com${T}domain google.com" --raw --no-convert-to-ip google.com
has registrar "Registrant Organization: Google Inc."
modes afrinic 0 0 "whois.arin.net${T}105.158.0.1;whois.afrinic.net${T}105.158.0.1" \
  "whois.arin.net${T}105.158.0.1;whois.arin.net${T}AFRINIC" --raw 105.158.0.1
has afrinic "MAROC TELECOM"
modes idn 0 1 "whois.denic.de${T}xn--bcher-kva.de" "whois.denic.de${T}bücher.de" --no-convert-to-ip bücher.de
modes parked 0 1 "whois.denic.de${T}parked.de" "" --raw parked.de

# --verbose: the same standard output, and standard error tells why.
timeout 60 "$bin/ostrabel-cli" --verbose --raw --no-convert-to-ip example.xyz \
  > "$out/verbose.native" 2> "$out/verbose.native.err"
netns_records "$out/verbose.native"
cmp -s "$out/iana.native" "$out/verbose.native" || fail "verbose: standard output differs"
for line in "ostrabel-cli: extension: IANA names whois.nic.xyz for .xyz" \
  'ostrabel-cli: whois whois.nic.xyz:43 "example.xyz": 54 bytes, completed, '; do
  grep -qF -- "$line" "$out/verbose.native.err" || fail "verbose: no '$line' in $(cat "$out/verbose.native.err")"
done

# ---------------------------------------------------------------- -h, -p, --timeout
# direct NAME STATUS STDERR WINE ARGS...: like check, but standard error must
# be exactly "ostrabel-cli: STDERR" (or empty when STDERR is empty), and the
# Windows client runs only when WINE is "wine". How long each run took goes to
# NAME.ms (and NAME.wine.ms), in milliseconds.
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
direct() {
  local name=$1 want=$2 wanterr=$3 wine=$4; shift 4
  local before; before=$(wc -l < "$run/requests.log")
  local expected=""
  [ -n "$wanterr" ] && expected="ostrabel-cli: $wanterr"

  local t0; t0=$(now_ms)
  timeout 60 "$bin/ostrabel-cli" "$@" > "$out/$name.native" 2> "$out/$name.native.err"
  local status=$?
  echo $(( $(now_ms) - t0 )) > "$out/$name.ms"
  cp "$out/$name.native" "$out/$name.native.whole"
  netns_records "$out/$name.native"
  [ "$status" = "$want" ] || fail "$name: native exit status $status, expected $want"
  [ "$(cat "$out/$name.native.err")" = "$expected" ] ||
    fail "$name: native stderr '$(cat "$out/$name.native.err")', expected '$expected'"
  [ "$(wc -l < "$out/$name.native.err")" -le 1 ] || fail "$name: more than one line on stderr"
  tail -n +$((before + 1)) "$run/requests.log" > "$out/$name.requests"

  if [ "$withwine" = yes ] && [ "$wine" = wine ]; then
    t0=$(now_ms)
    (cd "$bin" && timeout 120 wine ./ostrabel-cli.exe "$@") > "$out/$name.wine" 2> "$out/$name.wine.err"
    local wstatus=$?
    echo $(( $(now_ms) - t0 )) > "$out/$name.wine.ms"
    netns_records "$out/$name.wine"
    [ "$wstatus" = "$want" ] || fail "$name: Windows exit status $wstatus, expected $want"
    cmp -s "$out/$name.native" "$out/$name.wine" ||
      fail "$name: Windows output differs from native ($(cmp "$out/$name.native" "$out/$name.wine" 2>&1))"
    # Standard error is a text stream on Windows: its line end is CR LF.
    [ "$(tr -d '\r' < "$out/$name.wine.err")" = "$expected" ] ||
      fail "$name: Windows stderr '$(cat "$out/$name.wine.err")', expected '$expected'"
  fi
}
# took NAME LOW HIGH [WINE-EXTRA]: the native run took LOW to HIGH ms, the
# Windows run LOW to HIGH + WINE-EXTRA ms (Wine's own start-up).
took() {
  local name=$1 low=$2 high=$3 extra=${4:-0} ms
  ms=$(cat "$out/$name.ms")
  [ "$ms" -ge "$low" ] && [ "$ms" -le "$high" ] || fail "$name: native took $ms ms, expected $low..$high"
  echo "  $name: native ${ms} ms$([ -f "$out/$name.wine.ms" ] && echo ", Windows $(cat "$out/$name.wine.ms") ms")"
  if [ -f "$out/$name.wine.ms" ]; then
    ms=$(cat "$out/$name.wine.ms")
    [ "$ms" -ge "$low" ] && [ "$ms" -le $((high + extra)) ] ||
      fail "$name: Windows took $ms ms, expected $low..$((high + extra))"
  fi
}
empty_output() { [ ! -s "$out/$1.native" ] || fail "$1: printed '$(head -c 80 "$out/$1.native")'"; }

# A server the program knows: its notice is cut as in a lookup, but nothing
# else happens (no referral to follow, no heading): exactly the APNIC part of
# the lookup through ARIN.
direct h-known 0 "" wine -h whois.apnic.net --raw 144.134.121.81
requests_are h-known "whois.apnic.net${T}144.134.121.81"
lacks h-known "dbcopyright"
printf '144.134.121.81\r\n\r\n' | cmp -s - <(head -c 18 "$out/apnic-raw.native") ||
  fail "apnic-raw: no heading to take off"
tail -c +19 "$out/apnic-raw.native" | cmp -s - "$out/h-known.native" ||
  fail "h-known: differs from the APNIC answer of the full lookup"
wine_start=$([ -f "$out/h-known.wine.ms" ] && cat "$out/h-known.wine.ms" || echo 0)

# Port 43 of a server the program does not know.
direct h-unknown 0 "" native -h whois.alt.test 130.66.76.222
requests_are h-unknown "whois.alt.test${T}130.66.76.222"
has h-unknown "BOUYGTEL-ISP-CABLE"

# Another port, written in -h, given with -p, and -h's port winning over -p.
direct h-port 0 "" wine -h whois.alt.test:4343 171.0.0.1
requests_are h-port "whois.alt.test:4343${T}171.0.0.1"
has h-port "STARHUBINTERNET-SG"
has h-port "dbcopyright" # the same answer as h-known, but not from a known server
direct h-p 0 "" native -p 4343 --no-convert-to-ip -h whois.alt.test -- -T
requests_are h-p "whois.alt.test:4343${T}-T"
cmp -s "$out/h-port.native" "$out/h-p.native" || fail "h-p: a different answer than h-port"
direct h-port-wins 0 "" native --raw -h whois.alt.test:4343 --timeout 5 -p 43 171.0.0.1
requests_are h-port-wins "whois.alt.test:4343${T}171.0.0.1"
tr -d '\r' < "$out/h-port-wins.native" | cmp -s - <(head -c -1 "$out/h-port.native") ||
  fail "h-port-wins: --raw is not the same answer with CR LF"

# Nothing listens, and a name that does not resolve: one line, status 1.
direct h-refused 1 "cannot reach refused.test:43 (connection refused)" wine -h refused.test 192.0.2.1
empty_output h-refused
direct h-unresolvable 1 "cannot reach nowhere.example.test:4343 (unknown host)" wine \
  --host=nowhere.example.test --port=4343 192.0.2.1
empty_output h-unresolvable
direct p-without-h 2 "-p needs -h (lookups without -h always use port 43) (try --help)" native \
  -p 4343 192.0.2.1

# A server that takes the query and never answers: the limit ends the wait,
# for -h and for a lookup whose registry is silent.
direct h-silent 1 "timed out after 2 s waiting for silent.test:43" wine \
  --timeout 2 -h silent.test --raw 192.0.2.77
empty_output h-silent
requests_are h-silent "silent.test${T}192.0.2.77"
took h-silent 1900 5000 "$wine_start"
direct chain-silent 1 "" wine --no-convert-to-ip --timeout=1.5 --raw example.org
requests_are chain-silent "whois.pir.org${T}example.org"
empty_output chain-silent
[ "$(cat "$out/chain-silent.native.whole")" = "No answer: whois.pir.org sent nothing for 1.5 s." ] ||
  fail "chain-silent: the reason line is '$(cat "$out/chain-silent.native.whole")'"
timeout 60 "$bin/e2e_driver_replay" "$run/answers.conf" --no-convert-to-ip example.org > "$out/chain-silent.driver"
netns_records "$out/chain-silent.driver"
cmp -s "$out/chain-silent.native" "$out/chain-silent.driver" ||
  fail "chain-silent: differs from the in-process driver"
took chain-silent 1400 4500 "$wine_start"

# A limit that is not reached changes nothing in a lookup.
direct ripe-timeout 0 "" native 130.66.76.222 --timeout=5 --raw
cmp -s "$out/ripe-raw.native" "$out/ripe-timeout.native" || fail "ripe-timeout: differs from ripe-raw"

if [ "$failures" -gt 0 ]; then
  echo "$failures end-to-end check(s) failed; outputs are in $out"
  exit 1
fi
echo "end-to-end: all checks passed$([ "$withwine" = yes ] && echo " (native, in-process driver and Windows under Wine agree)")"
