#!/usr/bin/env bash
# Robustness of ostrabel-cli (native, and the Windows build under Wine)
# against hostile WHOIS servers and corrupt server lists. Everything runs in a
# private network and mount namespace: loopback only, and a hosts file of the
# test's own bind-mounted over /etc/hosts that maps every server host the
# program knows to an address 127.0.0.N where a hostile server listens.
#
#   run_hostile.sh CLI HOSTILE-SERVER MEASURE WINDOWS-CLI SAMPLES ROLES-HEADER WORK-DIR
#
# Every run is bounded in time and measured (wall time, peak resident memory);
# the figures are printed, one line per run. Exit 77 (skipped) where
# namespaces cannot be made (not root, no unshare).
set -uo pipefail
source "$(dirname "$0")/../support/netns.sh"
source "$(dirname "$0")/../../scripts/common.sh"

if [ "${1:-}" != "--inner" ]; then
  [ $# -eq 7 ] || { echo "usage: $0 CLI SERVER MEASURE WINDOWS-CLI SAMPLES ROLES WORK" >&2; exit 2; }
  cli=$1 server=$2 measure=$3 wincli=$4 samples=$5 roles=$6 work=$7
  netns_require "hostile-server tests" ip mount cmp perl stat

  run=$work/run
  rm -rf "$run" && mkdir -p "$run/bin" "$run/answers" "$run/out" "$run/lists" || exit 1
  # The programs run from a folder without whoislist.txt: the built-in list.
  cp "$cli" "$server" "$run/bin/" && cp "$measure" "$run/bin/measure" || exit 1
  a=$run/answers
  arin_ripe=$samples/whois.arin.net/arin-net-130.66.76.222-ripe-erx-whois-referral.txt
  ripe=$samples/whois.ripe.net/ripe-inetnum-128.79.0.0-bouygues.txt
  registry=$samples/whois.crsnic.net/crsnic-google.net-2009.txt
  uk=$samples/whois.nic.uk/uk-registered-2015.txt
  for f in "$arin_ripe" "$ripe" "$registry" "$uk"; do
    [ -f "$f" ] || { echo "FAIL: sample $f is missing"; exit 1; }
  done

  # A registry answer whose referral names a host that does not resolve, and
  # one whose referral names the registry itself.
  sed 's/Whois Server: .*/Whois Server: whois.nowhere.invalid/' "$registry" > "$a/referral-unresolvable.txt"
  sed 's/Whois Server: .*/Whois Server: whois.verisign-grs.com/' "$registry" > "$a/referral-self.txt"
  { echo "Second answer of the registry itself"; cat "$a/referral-self.txt"; } > "$a/referral-self-again.txt"
  # A network list whose handle is 10,000 characters long.
  handle=$(head -c 10000 /dev/zero | tr '\0' 'H')
  printf 'NetRange:       192.0.2.0 - 192.0.2.255\nParent:         NET-192 (%s)\n' "$handle" > "$a/long-handle.txt"
  printf 'No match found for the handle.\n' > "$a/no-match.txt"
  # An answer full of OrgID lines and an organisation record: merged, it
  # would be far larger than any answer.
  yes 'OrgID:          FLOOD' | head -n 100000 > "$a/org-flood.txt"
  { echo "OrgName: Flood"; for i in $(seq 40); do echo "Address: $i Long Street, Somewhere"; done; } > "$a/org-record.txt"

  # For the default chain: IANA naming itself or a 10,000-character host, a
  # registrar line naming the registry, ARIN referring to a bad port or host.
  printf 'whois:        whois.iana.org\n' > "$a/iana-self.txt"
  printf 'whois:        %s\n' "$handle" > "$a/iana-long.txt"
  printf 'Registrar WHOIS Server: whois://whois.verisign-grs.com\n' > "$a/registrar-self.txt"
  printf '(NET-PARENT)\nReferralServer: whois://whois.ripe.net:70000\n' > "$a/referral-port.txt"
  printf '(NET-PARENT)\nReferralServer: whois://%s\n' "$handle" > "$a/referral-long.txt"

  cat > "$run/answers.conf" <<CONF
whois.iana.org	big	big 100
whois.iana.org	silent	slow-silent 3
whois.iana.org	self	file $a/iana-self.txt
whois.iana.org	long	file $a/iana-long.txt
whois.verisign-grs.com	domain regself.com	file $a/registrar-self.txt
whois.arin.net	192.0.2.20	file $a/referral-port.txt
whois.arin.net	192.0.2.21	file $a/referral-long.txt
whois.arin.net	192.0.2.1	big 100
whois.arin.net	130.66.76.222	file $arin_ripe
whois.ripe.net	130.66.76.222	big 100
whois.arin.net	192.0.2.8	file $a/org-flood.txt
whois.arin.net	! o + FLOOD	file $a/org-record.txt
whois.arin.net	192.0.2.2	slow 6
whois.arin.net	192.0.2.12	slow-silent 3
whois.arin.net	192.0.2.3	reset $arin_ripe 1000
whois.arin.net	192.0.2.13	file $arin_ripe
whois.ripe.net	192.0.2.13	reset $ripe 2000
whois.arin.net	192.0.2.4	garbage 64
whois.arin.net	192.0.2.7	file $a/long-handle.txt
whois.arin.net	*	file $a/no-match.txt
whois.verisign-grs.com	domain unresolvable.com	file $a/referral-unresolvable.txt
whois.verisign-grs.com	domain self.com	file $a/referral-self.txt
whois.verisign-grs.com	self.com	file $a/referral-self-again.txt
whois.verisign-grs.com	*	file $registry
whois.nic.uk	*	file $uk
CONF

  {
    echo "127.0.0.1 localhost"
    netns_role_hosts "$roles"
  } > "$run/hosts"
  echo "nameserver 127.0.0.1" > "$run/resolv.conf" # no name server answers in the namespace

  # Corrupt server lists, each beside a copy of each client.
  make_list() { # NAME: a folder with the clients; the list is written by the caller
    mkdir -p "$run/lists/$1"
    cp "$cli" "$run/lists/$1/"
    [ -f "$wincli" ] && cp "$wincli" "$run/lists/$1/ostrabel-cli.exe"
    echo "$run/lists/$1/whoislist.txt"
  }
  # 50 MiB of records, the one that matters at the very end.
  list=$(make_list huge)
  yes 'k0000000:  whois.filler.test' | head -c $((50 * 1024 * 1024)) | sed 's/$/\r/' | head -c $((50 * 1024 * 1024 - 64)) > "$list"
  printf '\r\nzz:   whois.nic.uk\r\n' >> "$list"
  # No line end anywhere: a record takes the rest of the text as its host.
  list=$(make_list no-line-ends)
  printf 'com:  whois.verisign-grs.com net:  whois.nic.uk' > "$list"
  # Binary bytes: first without any NUL, with one record after them; then
  # with a NUL first, which leaves an empty table.
  list=$(make_list binary)
  "$server" --garbage 1024 nonul > "$list" && printf '\r\nuk:   whois.nic.uk\r\n' >> "$list"
  list=$(make_list binary-nul)
  { printf '\0'; "$server" --garbage 64 nonul; printf '\r\ncom:  whois.verisign-grs.com\r\n'; } > "$list"

  if [ -f "$wincli" ]; then
    cp "$wincli" "$run/bin/ostrabel-cli.exe" || exit 1
    netns_wine_prefix "$work/wine-prefix" "$run/tmp"
  else
    echo "NOTE: $wincli is missing: the Windows half is skipped (build the Windows tree first)"
  fi

  exec timeout 400 unshare --mount --net bash "$0" --inner "$run" "$([ -f "$wincli" ] && echo yes || echo no)" "$arin_ripe" "$ripe" "$uk"
fi

# ---------------------------------------------------------------- inside
run=$2 withwine=$3 arin_ripe=$4 ripe=$5 uk=$6
bin=$run/bin out=$run/out
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

netns_setup "$run/hosts" "$run/resolv.conf"

netns_start_servers "hostile servers" "$bin/hostile_server" "$run/answers.conf" "$run/requests.log" \
  "$run/ready" "$run/server.err"
server_pid=$netns_server_pid
cleanup() {
  kill "$server_pid" 2>/dev/null
  [ "$withwine" = yes ] && wineserver -k >/dev/null 2>&1
}
trap cleanup EXIT
if [ "$withwine" = yes ]; then
  wineserver -p >/dev/null 2>&1 # one wineserver for the whole run
  (cd "$bin" && timeout 60 wine ./ostrabel-cli.exe --version >/dev/null 2>&1)
fi

# run SIDE NAME LIMIT-SECONDS DIR ARGS...: runs one client (native or wine)
# from DIR under measure; sets status, seconds, rss_mb and the output files
# $out/NAME.SIDE (stdout) and $out/NAME.SIDE.err; the requests it caused are
# in $out/NAME.SIDE.requests.
run() {
  local side=$1 name=$2 limit=$3 dir=$4; shift 4
  local before; before=$(wc -l < "$run/requests.log")
  local line
  if [ "$side" = native ]; then
    line=$(cd "$dir" && "$bin/measure" "$limit" "$out/$name.$side" "$out/$name.$side.err" ./ostrabel-cli "$@")
  else
    line=$(cd "$dir" && "$bin/measure" "$limit" "$out/$name.$side" "$out/$name.$side.err" wine ./ostrabel-cli.exe "$@")
  fi
  sleep 0.2 # the server logs a request as soon as its line is complete
  netns_records "$out/$name.$side"
  tail -n +$((before + 1)) "$run/requests.log" > "$out/$name.$side.requests"
  status=${line#status=}; status=${status%% *}
  seconds=${line#*seconds=}; seconds=${seconds%% *}
  local kb=${line#*maxrss_kb=}
  rss_mb=$((kb / 1024))
  printf '  %-22s %-6s status=%-6s %6ss %5s MiB  %s bytes out\n' "$name" "$side" "$status" "$seconds" \
    "$rss_mb" "$(stat -c %s "$out/$name.$side")"
}
sides() { echo native; [ "$withwine" = yes ] && echo wine; }
# Checks on the last run.
status_is() { [ "$status" = "$2" ] || fail "$1: exit status $status, expected $2"; }
faster_than() { perl -e "exit !($seconds < $2)" || fail "$1: took ${seconds}s, bound ${2}s"; }
slower_than() { perl -e "exit !($seconds >= $2)" || fail "$1: took ${seconds}s, expected at least ${2}s"; }
memory_below() { [ "$rss_mb" -lt "$2" ] || fail "$1: peak memory ${rss_mb} MiB, bound $2 MiB"; }
size_is() { [ "$(stat -c %s "$1")" = "$2" ] || fail "$1: $(stat -c %s "$1") bytes, expected $2"; }
size_below() { [ "$(stat -c %s "$1")" -lt "$2" ] || fail "$1: $(stat -c %s "$1") bytes, bound $2"; }
has() { grep -qaF -- "$2" "$1" || fail "$1 lacks '$2'"; }
lacks() { ! grep -qaF -- "$2" "$1" || fail "$1 still holds '$2'"; }
starts_with() { head -c ${#2} "$1" | cmp -s - <(printf '%s' "$2") || fail "$1 does not start with '$2'"; }
no_nul() { perl -0777 -ne 'exit(/\0/ ? 1 : 0)' "$1" || fail "$1 holds a NUL byte"; }
crlf_only() { perl -0777 -ne 'exit(/(?<!\r)\n/ ? 1 : 0)' "$1" || fail "$1 holds a bare line feed"; }
requests_are() { # FILE, then the expected "HOST<TAB>LENGTH<TAB>REQUEST" lines
  local file=$1; shift
  { if [ $# -gt 0 ]; then printf '%s\n' "$@"; fi; } | cmp -s - "$file" ||
    fail "$file: requests were: $(tr '\t\n' '|;' < "$file" | head -c 300), expected: $*"
}
same_outputs() { # NAME: the Windows client printed what the native one did
  [ "$withwine" = yes ] || return 0
  cmp -s "$out/$1.native" "$out/$1.wine" || fail "$1: Windows output differs ($(cmp "$out/$1.native" "$out/$1.wine" 2>&1))"
}
T=$'\t'
MiB=$((1024 * 1024))
wine_slack() { [ "$1" = wine ] && echo "$2" || echo "$3"; } # a bound per side

echo "hostile servers:"
# 1. 100 MiB from ARIN: reading stops at 16 MiB, which is shown as it came
#    (a failed first exchange is neither filtered nor headed). Memory stays
#    within a small multiple of the bound.
for side in $(sides); do
  run $side big $(wine_slack $side 90 30) "$bin" --raw 192.0.2.1
  status_is big 0; faster_than big $(wine_slack $side 60 15)
  memory_below big 100
  size_is "$out/big.$side" $((16 * MiB))
  starts_with "$out/big.$side" "Comment:        filler line 0 of"
done
same_outputs big
# 2. 100 MiB from the server ARIN refers to: that exchange fails at the bound
#    and ARIN's answer stays.
for side in $(sides); do
  run $side big-referral $(wine_slack $side 90 30) "$bin" --raw 130.66.76.222
  status_is big-referral 0; faster_than big-referral $(wine_slack $side 60 15)
  memory_below big-referral 100
  starts_with "$out/big-referral.$side" $'130.66.76.222\r\n\r\n'
  has "$out/big-referral.$side" "RIPE-ERX-130-66-0-0"
  size_below "$out/big-referral.$side" $MiB
done
same_outputs big-referral
# 3. 100,000 OrgID lines: the organisation record is fetched once, the merge
#    that would exceed its bound is refused and the answer stays as it was.
for side in $(sides); do
  run $side org-flood $(wine_slack $side 60 20) "$bin" --raw 192.0.2.8
  status_is org-flood 0; faster_than org-flood $(wine_slack $side 30 10)
  memory_below org-flood 64
  requests_are "$out/org-flood.$side.requests" "whois.arin.net${T}9${T}192.0.2.8" "whois.arin.net${T}11${T}! o + FLOOD"
  size_below "$out/org-flood.$side" $((3 * MiB))
  lacks "$out/org-flood.$side" "Long Street"
done
same_outputs org-flood
# 4. One byte a second for six seconds, then a normal close: the answer is
#    read whole, however slowly it comes.
for side in $(sides); do
  run $side slow 30 "$bin" --raw 192.0.2.2
  status_is slow 0; slower_than slow 5; faster_than slow $(wine_slack $side 15 10)
  printf '192.0.2.2\r\n\r\nabcdef' | cmp -s - "$out/slow.$side" || fail "slow: $side output $(head -c 80 "$out/slow.$side" | od -c | head -3)"
done
# 5. Three bytes at one a second, then silence. With --timeout 2 the lookup
#    ends two seconds after the last byte (about 4 s in all) and keeps what came; without a
#    limit it would wait for ever (killed here after 8 s).
for side in $(sides); do
  run $side slow-silent 30 "$bin" --raw --timeout 2 192.0.2.12
  status_is slow-silent 0; slower_than slow-silent 3.5; faster_than slow-silent $(wine_slack $side 12 8)
  printf 'abc' | cmp -s - "$out/slow-silent.$side" || fail "slow-silent: $side output is not 'abc'"
done
run native slow-silent-unbounded 8 "$bin" --raw 192.0.2.12
status_is slow-silent-unbounded killed
# 6. A reset after 1000 bytes of ARIN's answer: exactly those bytes, as they
#    came; a reset from the server ARIN refers to leaves ARIN's answer.
for side in $(sides); do
  run $side reset 30 "$bin" --raw 192.0.2.3
  status_is reset 0; faster_than reset $(wine_slack $side 10 5)
  head -c 1000 "$arin_ripe" | cmp -s - "$out/reset.$side" || fail "reset: $side output is not the first 1000 bytes"
  run $side reset-referral 30 "$bin" --raw 192.0.2.13
  status_is reset-referral 0; faster_than reset-referral $(wine_slack $side 10 5)
  starts_with "$out/reset-referral.$side" $'192.0.2.13\r\n\r\n'
  has "$out/reset-referral.$side" "RIPE-ERX-130-66-0-0"
  lacks "$out/reset-referral.$side" "BOUYGTEL"
  crlf_only "$out/reset-referral.$side"
done
same_outputs reset-referral
# 7. 64 KiB of binary garbage with NUL bytes: a NUL ends its chunk's text, so
#    nothing after it reaches the result; the rest passes the filter.
for side in $(sides); do
  run $side garbage 30 "$bin" --raw 192.0.2.4
  status_is garbage 0; faster_than garbage $(wine_slack $side 10 5)
  starts_with "$out/garbage.$side" $'192.0.2.4\r\n\r\n'
  no_nul "$out/garbage.$side"; crlf_only "$out/garbage.$side"
  size_below "$out/garbage.$side" $((128 * 1024))
done
same_outputs garbage
# 8. A referral to a host that does not resolve: the registry's answer stays.
for side in $(sides); do
  run $side referral-unresolvable 30 "$bin" --raw --no-convert-to-ip unresolvable.com
  status_is referral-unresolvable 0; faster_than referral-unresolvable $(wine_slack $side 10 5)
  requests_are "$out/referral-unresolvable.$side.requests" "whois.verisign-grs.com${T}23${T}domain unresolvable.com"
  has "$out/referral-unresolvable.$side" "Whois Server: whois.nowhere.invalid"
  crlf_only "$out/referral-unresolvable.$side"
done
same_outputs referral-unresolvable
# 9. A referral that names the registry itself: asked once more, without the
#    "domain " prefix, and no further, although the second answer names the
#    registry again.
for side in $(sides); do
  run $side referral-self 30 "$bin" --raw --no-convert-to-ip self.com
  status_is referral-self 0; faster_than referral-self $(wine_slack $side 10 5)
  requests_are "$out/referral-self.$side.requests" "whois.verisign-grs.com${T}15${T}domain self.com" \
    "whois.verisign-grs.com${T}8${T}self.com"
  starts_with "$out/referral-self.$side" "Second answer of the registry itself"
done
same_outputs referral-self
# 10. A parenthesised handle of 10,000 characters: sent whole as the next
#     query, and the answer to it is the result.
for side in $(sides); do
  run $side long-handle 30 "$bin" --raw 192.0.2.7
  status_is long-handle 0; faster_than long-handle $(wine_slack $side 10 5)
  [ "$(cut -f2 "$out/long-handle.$side.requests" | tr '\n' ' ')" = "9 10000 " ] ||
    fail "long-handle: $side request lengths $(cut -f2 "$out/long-handle.$side.requests" | tr '\n' ' ')"
  printf '192.0.2.7\r\n\r\nNo match found for the handle.' | cmp -s - "$out/long-handle.$side" ||
    fail "long-handle: $side output $(head -c 80 "$out/long-handle.$side")"
done

echo "hostile answers to the default chain:"
# 11. IANA sending 100 MiB (read to the 16 MiB bound), silent (ended by
#     --timeout), naming itself or a 10,000-character host: the classic text
#     stays, and IANA is the only server asked.
for side in $(sides); do
  for tld in big silent self long; do
    run $side iana-$tld $(wine_slack $side 90 30) "$bin" --raw --timeout 2 --no-convert-to-ip example.$tld
    status_is iana-$tld 1; faster_than iana-$tld $(wine_slack $side 60 15); memory_below iana-$tld 100
    [ $tld = silent ] && slower_than iana-silent 3.5
    printf 'I do not know the whois server for this domain extension' | cmp -s - "$out/iana-$tld.$side" ||
      fail "iana-$tld: $side output $(head -c 80 "$out/iana-$tld.$side")"
    requests_are "$out/iana-$tld.$side.requests" "whois.iana.org${T}${#tld}${T}$tld"
  done
done
# 12. A registrar line naming the registry: one exchange with it, not two.
#     ARIN referring to port 70000 or to a 10,000-character host: not
#     followed; the handle is asked again as in the classic chain.
for side in $(sides); do
  run $side registrar-self 30 "$bin" --raw --no-convert-to-ip regself.com
  requests_are "$out/registrar-self.$side.requests" "whois.verisign-grs.com${T}18${T}domain regself.com"
  for n in 20 21; do
    run $side referral-$n 30 "$bin" --raw 192.0.2.$n
    status_is referral-$n 0
    requests_are "$out/referral-$n.$side.requests" "whois.arin.net${T}10${T}192.0.2.$n" "whois.arin.net${T}10${T}NET-PARENT"
  done
done

echo "corrupt server lists:"
# Each list keeps its bytes and its modification time through the lookups.
declare -A list_stamp
for dir in "$run"/lists/*/; do
  list_stamp[$dir]="$(stat -c '%s %Y' "$dir/whoislist.txt") $(cksum < "$dir/whoislist.txt")"
done
# 50 MiB: the record at its very end is found, in bounded time and memory.
for side in $(sides); do
  run $side list-huge $(wine_slack $side 60 30) "$run/lists/huge" --raw --no-convert-to-ip example.zz
  status_is list-huge 0; faster_than list-huge $(wine_slack $side 30 10)
  memory_below list-huge $(wine_slack $side 400 300)
  requests_are "$out/list-huge.$side.requests" "whois.nic.uk${T}10${T}example.zz"
  has "$out/list-huge.$side" "google.co.uk"
done
# No line ends: the last record works; an earlier one takes the rest of the
# text as its host, which resolves nowhere (no request, no answer).
for side in $(sides); do
  run $side list-no-line-ends 30 "$run/lists/no-line-ends" --raw --no-convert-to-ip example.net
  status_is list-no-line-ends 0
  requests_are "$out/list-no-line-ends.$side.requests" "whois.nic.uk${T}11${T}example.net"
  run $side list-no-line-ends-first 30 "$run/lists/no-line-ends" --raw --no-convert-to-ip example.com
  status_is list-no-line-ends-first 1; faster_than list-no-line-ends-first $(wine_slack $side 10 5)
  [ -s "$out/list-no-line-ends-first.$side" ] && fail "list-no-line-ends-first: $side printed an answer"
  requests_are "$out/list-no-line-ends-first.$side.requests"
done
# Binary bytes: a record after them still counts; after a NUL nothing does.
for side in $(sides); do
  run $side list-binary 30 "$run/lists/binary" --raw --no-convert-to-ip example.uk
  status_is list-binary 0
  requests_are "$out/list-binary.$side.requests" "whois.nic.uk${T}10${T}example.uk"
  run $side list-binary-nul 30 "$run/lists/binary-nul" --raw --no-convert-to-ip example.com
  status_is list-binary-nul 1
  printf 'I do not know the whois server for this domain extension' | cmp -s - "$out/list-binary-nul.$side" ||
    fail "list-binary-nul: $side output $(head -c 80 "$out/list-binary-nul.$side")"
  # The table is empty: only IANA is asked (the fake one here knows nothing).
  requests_are "$out/list-binary-nul.$side.requests" "whois.iana.org${T}3${T}com"
done
for dir in "$run"/lists/*/; do
  [ "${list_stamp[$dir]}" = "$(stat -c '%s %Y' "$dir/whoislist.txt") $(cksum < "$dir/whoislist.txt")" ] ||
    fail "$dir/whoislist.txt was changed by a lookup"
done

if [ "$failures" -gt 0 ]; then
  echo "$failures hostile-server check(s) failed; outputs are in $out"
  exit 1
fi
echo "hostile servers and corrupt lists: all checks passed$([ "$withwine" = yes ] && echo " (native and Windows under Wine)")"
