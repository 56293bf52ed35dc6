#!/usr/bin/env bash
# RDAP end to end: ostrabel-cli (native, and the Windows build under Wine) and
# the real ostrabel.exe window, in a private network and mount namespace,
# against fake WHOIS servers on 127.0.0.N:43 and a fake HTTPS server speaking
# real TLS for the RDAP hosts and data.iana.org. A test authority made here
# with openssl is bind-mounted over the system CA bundle, which libcurl reads
# and from which Wine's crypt32 builds its root store.
#
# Each row is a fake world (which WHOIS servers listen, which HTTPS routes
# exist, which host shows a certificate from an unknown authority), a command,
# what it must print and which requests the servers must have seen. Every row
# runs natively and under Wine; both must print the same bytes.
#
#   run_rdap_e2e.sh CLI FAKE-WHOIS FAKE-HTTPS WIN32-BIN ROLES-HEADER SNAPSHOT-DIR WORK-DIR
#
# Exit 77 (skipped) where namespaces cannot be made (not root, no unshare).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/netns.sh"
source "$here/../support/test_pki.sh"
source "$here/../../scripts/common.sh"
bundle=/etc/ssl/certs/ca-certificates.crt
rdap_hosts="pubapi.registry.google rdap.registrar.example rdap.verisign.com rdap.arin.net rdap.db.ripe.net rdap.nic.zz data.iana.org
  rdap.identitydigital.services rdap.nic.ch rdap.iana.org rdap.nic.tv"
# WHOIS hosts that are no server role: a .tv-style thin registry and a
# registrar (whose port 43 stays closed unless a row opens it).
whois_hosts="tvwhois.verisign-grs.com whois.registrar.example"

if [ "${1:-}" != "--inner" ] && [ "${1:-}" != "--window" ]; then
  [ $# -eq 7 ] || { echo "usage: $0 CLI FAKE-WHOIS FAKE-HTTPS WIN32-BIN ROLES SNAPSHOT WORK" >&2; exit 2; }
  cli=$1 whoisfake=$2 httpsfake=$3 winbin=$4 roles=$5 snapshot=$6 work=$7
  netns_require "RDAP end-to-end tests" ip mount timeout openssl cmp
  [ -f "$bundle" ] || { echo "SKIP: no $bundle to stand in for"; exit 77; }

  run=$work/run
  rm -rf "$run" && mkdir -p "$run/bin" "$run/out" "$run/pki" "$run/files" || exit 1
  cp "$cli" "$whoisfake" "$httpsfake" "$run/bin/" || exit 1
  pki=$run/pki
  # shellcheck disable=SC2086
  { pki_authority "$pki" ca && pki_authority "$pki" rogue-ca &&
    pki_server_cert "$pki" good ca $rdap_hosts &&
    pki_server_cert "$pki" rogue rogue-ca rdap.arin.net; } ||
    { echo "FAIL: openssl could not make the certificates"; exit 1; }

  # The answers: IANA knows no WHOIS server for .dev and .zz; the fixtures of
  # the RDAP unit tests and of this folder; the built-in bootstrap as IANA's
  # files, its dns.json with one TLD more (.zz).
  f=$run/files
  printf '%% IANA WHOIS server\n\ndomain:       %s\n\nwhois:        \n\nstatus:       ACTIVE\n' DEV > "$f/iana-dev.txt"
  printf '%% IANA WHOIS server\n\ndomain:       %s\n\nwhois:        \n\nstatus:       ACTIVE\n' ZZ > "$f/iana-zz.txt"
  printf 'Domain Name: EXAMPLE.DEV\nRegistrar: WHOIS Registrar\n' > "$f/whois-dev.txt"
  cp "$here"/../rdap/fixtures/*.json "$here"/fixtures/*.json "$f/" || exit 1
  sed 's/EXAMPLE\.DEV/EXAMPLE.ZZ/' "$f/domain_registrar.json" > "$f/domain_zz.json"
  sed 's/EXAMPLE\.DEV/EXAMPLE.COM/' "$f/domain_registrar.json" > "$f/domain_com.json"
  sed 's/example\.dev/example.com/g; s/EXAMPLE\.DEV/EXAMPLE.COM/g' "$f/domain_registry.json" > "$f/registry_com.json"
  sed 's/EXAMPLE\.DEV/EXAMPLE.CH/' "$f/domain_registrar.json" > "$f/domain_ch.json"
  sed 's/EXAMPLE\.DEV/EXAMPLE.INFO/' "$f/domain_registrar.json" > "$f/domain_info.json"
  # Port 43 of a registry that has left it: one sentence and a time stamp.
  printf 'TLD is not supported.\r\n>>> Last update of WHOIS database: 2026-12-07T10:00:00Z <<<\r\n' > "$f/whois-unsupported.txt"
  # A thin registry: the registrar's name and its WHOIS server, no owner.
  printf 'Domain Name: %s\r\nRegistrar WHOIS Server: whois.registrar.example\r\nRegistrar: Example Registrar, LLC\r\n' \
    EXAMPLE.COM > "$f/whois-thin-com.txt"
  printf 'Domain Name: %s\r\nRegistrar WHOIS Server: whois.registrar.example\r\nRegistrar: Example Registrar, LLC\r\n' \
    EXAMPLE.TV > "$f/whois-thin-tv.txt"
  printf 'Domain Name: EXAMPLE.TV\r\nRegistrant Name: Anna Mueller\r\nRegistrant City: Berlin\r\n' > "$f/whois-registrar-tv.txt"
  printf '%% IANA WHOIS server\n\ndomain:       INT\n\nwhois:        whois.iana.org\n\nstatus:       ACTIVE\n' > "$f/iana-int.txt"
  printf '%% IANA WHOIS server\n\ndomain:       NATO.INT\n\norganisation: North Atlantic Treaty Organization\n' > "$f/iana-nato.txt"
  printf '%% IANA WHOIS server\n\ndomain:       TV\n\nwhois:        tvwhois.verisign-grs.com\n\nstatus:       ACTIVE\n' > "$f/iana-tv.txt"
  mkdir -p "$f/iana" "$f/snapshot" && cp "$snapshot"/{dns,ipv4,ipv6,asn}.json "$f/snapshot/" &&
    cp "$f"/snapshot/*.json "$f/iana/" || exit 1
  sed '0,/"services": *\[/s//"services": [[["zz"], ["https:\/\/rdap.nic.zz\/"]],/' \
    "$snapshot/dns.json" > "$f/iana/dns.json"
  grep -q rdap.nic.zz "$f/iana/dns.json" || { echo "FAIL: no .zz in the served dns.json"; exit 1; }

  {
    echo "127.0.0.1 localhost"
    netns_role_hosts "$roles"
    n=1
    for host in $rdap_hosts; do echo "127.0.2.$n $host"; n=$((n + 1)); done
    n=1
    for host in $whois_hosts; do echo "127.0.3.$n $host"; n=$((n + 1)); done
  } > "$run/hosts"

  withwine=no
  if [ -f "$winbin/ostrabel-cli.exe" ] && command -v wine >/dev/null; then
    withwine=yes
    cp "$winbin/ostrabel-cli.exe" "$run/bin/" || exit 1
    for exe in ostrabel.exe gui_probe.exe; do [ -f "$winbin/$exe" ] && cp "$winbin/$exe" "$run/bin/"; done
    netns_wine_prefix "$work/wine-prefix" "$run/tmp"
    # Without a window manager, hiding a managed window waits for one; the
    # window starts without settings from an earlier run.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wine reg delete 'HKCU\Software\Tarvolk Technologies' /f >/dev/null 2>&1
    local_app=$(timeout 60 wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
    winepath -u "$local_app" 2>/dev/null | tr -d '\r' > "$run/localappdata"
    wineserver -k >/dev/null 2>&1
    [ -d "$(cat "$run/localappdata")" ] || { echo "FAIL: no %LOCALAPPDATA% in the prefix ($local_app)"; exit 1; }
  else
    echo "NOTE: $winbin/ostrabel-cli.exe or wine is missing: the Windows half is skipped"
  fi
  unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
  exec timeout 600 unshare --mount --net bash "$0" --inner "$run" "$withwine"
fi

# ---------------------------------------------------------------- the window
# Started by the window row below on a virtual screen: types each NAME=QUERY
# into the real window in turn and reads the result box back as UTF-8 into
# window-NAME.native.
if [ "$1" = "--window" ]; then
  run=$2 bin=$2/bin
  shift 2
  probe() { (cd "$bin" && timeout 120 wine ./gui_probe.exe "$@"); }
  o=$run/out
  probe start "Z:$bin/ostrabel.exe" > "$o/window.start" || { echo "no window" > "$o/window.fail"; exit 1; }
  for item; do
    probe --utf8 lookup "${item#*=}" > "$o/window-${item%%=*}.native" ||
      echo "the lookup of ${item#*=} did not end" >> "$o/window.fail"
  done
  probe close > /dev/null || echo "the window did not close" >> "$o/window.fail"
  exit 0
fi

# ---------------------------------------------------------------- inside
run=$2 withwine=$3
bin=$run/bin out=$run/out f=$run/files
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
T=$'\t'

netns_setup "$run/hosts"
mount --bind "$run/pki/ca.pem" "$bundle" || { echo "FAIL: bind mount of $bundle"; exit 1; }
touch "$run/whois.log" "$run/https.log"
whois_pid="" https_pid=""
stop_world() {
  [ -n "$whois_pid" ] && kill "$whois_pid" 2>/dev/null && wait "$whois_pid" 2>/dev/null
  [ -n "$https_pid" ] && kill "$https_pid" 2>/dev/null && wait "$https_pid" 2>/dev/null
  whois_pid="" https_pid=""
}
trap 'stop_world; [ "$withwine" = yes ] && wineserver -k >/dev/null 2>&1' EXIT
# One wineserver for the whole run (sockets live in it, so it starts here).
[ "$withwine" = yes ] && wineserver -p >/dev/null 2>&1

native_cache=$run/xdg-cache/ostrabel/rdap
wine_cache=""
[ "$withwine" = yes ] && wine_cache="$(cat "$run/localappdata")/Ostrabel/rdap"

# ---- a row's world
# world: no WHOIS server listens, every RDAP host has a certificate of the
# test authority and no route, the cache holds the built-in bootstrap (fresh,
# so nothing is fetched).
world() { : > "$run/whois.conf"; : > "$run/routes.conf"; rogue_host=""; cache=seeded; }
whois() { printf '%s\t%s\t%s\n' "$1" "$2" "$3" >> "$run/whois.conf"; }
route() { local IFS=$T; echo "route$T$*" >> "$run/routes.conf"; }
start_world() {
  local host address cert
  {
    for host in $rdap_hosts; do
      address=$(awk -v h="$host" '$2 == h {print $1}' "$run/hosts")
      cert=good
      [ "$host" = "$rogue_host" ] && cert=rogue
      echo "listen$T$address:443$T$run/pki/$cert.pem$T$run/pki/$cert.key"
    done
    cat "$run/routes.conf"
  } > "$run/https.conf"
  rm -f "$run/https.ready" "$run/whois.ready"
  netns_start_servers "fake HTTPS server" "$bin/fake_https_server" "$run/https.conf" \
    "$run/https.log" "$run/https.ready" "$run/https.err"
  https_pid=$netns_server_pid
  if [ -s "$run/whois.conf" ]; then
    netns_start_servers "fake WHOIS servers" "$bin/fake_whois_replay" "$run/whois.conf" \
      "$run/whois.log" "$run/whois.ready" "$run/whois.err"
    whois_pid=$netns_server_pid
  fi
}
prepare_cache() { # DIR: as the row's cache mode says
  case $cache in
    seeded) rm -rf "$1" && mkdir -p "$1" && cp "$f"/snapshot/*.json "$1/" ;;
    empty) rm -rf "$1" ;;
  esac
}

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
# lookup NAME STATUS ARGS...: in this row's world, ostrabel-cli ARGS natively
# and under Wine. Each side's standard output goes to NAME.SIDE, its
# requests to NAME.SIDE.whois and NAME.SIDE.https (HOST PATH, sorted).
lookup() {
  local name=$1 want=$2 side status wb hb t0; shift 2
  start_world
  for side in native wine; do
    [ "$side" = wine ] && [ "$withwine" != yes ] && continue
    if [ "$side" = native ]; then prepare_cache "$native_cache"; else prepare_cache "$wine_cache"; fi
    wb=$(wc -l < "$run/whois.log") hb=$(wc -l < "$run/https.log") t0=$(now_ms)
    if [ "$side" = native ]; then
      XDG_CACHE_HOME=$run/xdg-cache timeout 60 "$bin/ostrabel-cli" "$@" > "$out/$name.native" 2> "$out/$name.native.err"
    else
      (cd "$bin" && LC_ALL=C.UTF-8 timeout 120 wine ./ostrabel-cli.exe "$@") > "$out/$name.wine" 2> "$out/$name.wine.err"
    fi
    status=$?
    echo $(( $(now_ms) - t0 )) > "$out/$name.$side.ms"
    netns_records "$out/$name.$side"
    [ "$status" = "$want" ] || fail "$name ($side): exit status $status, expected $want"
    tail -n +$((wb + 1)) "$run/whois.log" > "$out/$name.$side.whois"
    tail -n +$((hb + 1)) "$run/https.log" > "$out/$name.$side.log"
    cut -f1,2 "$out/$name.$side.log" | tr '\t' ' ' | sort > "$out/$name.$side.https"
    awk -F'\t' '$1 != "data.iana.org" && $3 != "application/rdap+json"' "$out/$name.$side.log" | grep -q . &&
      fail "$name ($side): an RDAP request without Accept: application/rdap+json"
  done
  stop_world
  [[ " $* " == *" --verbose "* ]] || [ ! -s "$out/$name.native.err" ] ||
    fail "$name: native wrote to stderr: $(head -c 300 "$out/$name.native.err")"
  [ "$withwine" != yes ] || cmp -s "$out/$name.native" "$out/$name.wine" ||
    fail "$name: Windows output differs from native ($(cmp "$out/$name.native" "$out/$name.wine" 2>&1))"
}
sides() { echo native; [ "$withwine" = yes ] && echo wine; }
# first NAME LINE: the output's first line (without its CR LF).
first() { [ "$(head -n 1 "$out/$1.native" | tr -d '\r')" = "$2" ] || fail "$1: first line '$(head -n 1 "$out/$1.native")', expected '$2'"; }
has() { local n=$1; shift; for t; do grep -qF -- "$t" "$out/$n.native" || fail "$n: output lacks '$t'"; done; }
lacks() { ! grep -qF -- "$2" "$out/$1.native" || fail "$1: output holds '$2'"; }
same() { cmp -s "$out/$1.native" "$out/$2.native" || fail "$1: output differs from $2's ($(cmp "$out/$1.native" "$out/$2.native" 2>&1))"; }
# whois_asked / https_asked NAME [REQUEST]...: exactly these requests (WHOIS:
# "HOST<TAB>REQUEST" in order; HTTPS: "HOST PATH" in any order), each side.
lines() { [ $# -eq 0 ] || printf '%s\n' "$@"; }
whois_asked() {
  local n=$1 side; shift
  for side in $(sides); do
    lines "$@" | cmp -s - "$out/$n.$side.whois" ||
      fail "$n ($side): WHOIS requests [$(tr '\t\n' ' ;' < "$out/$n.$side.whois")], expected [$*]"
  done
}
https_asked() {
  local n=$1 side; shift
  for side in $(sides); do
    lines "$@" | sort | cmp -s - "$out/$n.$side.https" ||
      fail "$n ($side): HTTPS requests [$(tr '\n' ';' < "$out/$n.$side.https")], expected [$*]"
  done
}

# ---------------------------------------------------------------- the rows
dev_world() { # IANA names no WHOIS server for .dev; the registry and the registrar answer RDAP
  world
  whois whois.iana.org dev "$f/iana-dev.txt"
  route pubapi.registry.google /rdap/domain/example.dev 200 "@$f/domain_registry.json" "Content-Type: application/rdap+json"
  route rdap.registrar.example /domain/example.dev 200 "@$f/domain_registrar.json"
}
dev_registry=https://pubapi.registry.google/rdap/domain/example.dev
dev_registrar=https://rdap.registrar.example/domain/example.dev

# An RDAP-only TLD: the registry's record, then the registrar's.
dev_world
lookup dev 0 --raw example.dev
first dev "RDAP: $dev_registry"
has dev "Example Registrar, LLC" "Anna Müller" "Hauptstraße 5" "ns-cloud-a1.googledomains.com" "RDAP: $dev_registrar"
lacks dev "By querying our database"
whois_asked dev # RDAP first: a server is known for .dev
https_asked dev "pubapi.registry.google /rdap/domain/example.dev" "rdap.registrar.example /domain/example.dev"
[ "$(grep -n "^RDAP: $dev_registrar" "$out/dev.native" | cut -d: -f1)" -gt 3 ] 2>/dev/null ||
  fail "dev: the registrar's record does not follow the registry's"
[ "$(grep -c $'\r$' "$out/dev.native")" = "$(wc -l < "$out/dev.native")" ] || fail "dev: a line does not end in CR LF"
lookup dev-classic 1 --classic example.dev
whois_asked dev-classic
https_asked dev-classic
lacks dev-classic "RDAP:"

# --rdap: RDAP only (the WHOIS servers listen but are not asked); the notices on demand.
whois whois.verisign-grs.com '*' "$f/whois-dev.txt"
lookup dev-rdap 0 --rdap --rdap-notices example.dev
first dev-rdap "RDAP: $dev_registry"
has dev-rdap "By querying our database" "Anna Müller"
whois_asked dev-rdap
https_asked dev-rdap "pubapi.registry.google /rdap/domain/example.dev" "rdap.registrar.example /domain/example.dev"

# The registry knows no such name: one line naming the server and the query.
world
whois whois.iana.org dev "$f/iana-dev.txt"
lookup dev-404 0 nosuch.dev
[ "$(grep -c . "$out/dev-404.native")" = 1 ] || fail "dev-404: not one line: $(cat "$out/dev-404.native")"
has dev-404 "No match" "nosuch.dev" "pubapi.registry.google"
https_asked dev-404 "pubapi.registry.google /rdap/domain/nosuch.dev"

# A registry whose port 43 takes the question and closes without a word:
# RDAP first, so port 43 is not asked at all.
world
whois whois.verisign-grs.com "domain other.com" "$f/whois-dev.txt"
route rdap.verisign.com /com/v1/domain/example.com 200 "@$f/domain_com.json"
lookup com 0 example.com
first com "RDAP: https://rdap.verisign.com/com/v1/domain/example.com"
has com "EXAMPLE.COM" "Anna Müller"
whois_asked com
https_asked com "rdap.verisign.com /com/v1/domain/example.com"

# Registries and registrars that have left port 43. Each world: the default
# mode finds the owner over RDAP, the classic chain shows what port 43 says.
info_world() { # .info's port 43 answers only "TLD is not supported."
  world
  whois whois.nic.info example.info "$f/whois-unsupported.txt"
  route rdap.identitydigital.services /rdap/domain/example.info 200 "@$f/domain_info.json"
}
info_world
lookup info 0 example.info
first info "RDAP: https://rdap.identitydigital.services/rdap/domain/example.info"
has info "EXAMPLE.INFO" "Anna Müller"
whois_asked info
lookup info-classic 0 --classic --no-convert-to-ip example.info
first info-classic "TLD is not supported."
whois_asked info-classic "whois.nic.info${T}example.info"
https_asked info-classic

thin_com_world() { # the registry's thin record names a registrar whose port 43 is closed
  world
  whois whois.verisign-grs.com "domain example.com" "$f/whois-thin-com.txt"
  route rdap.verisign.com /com/v1/domain/example.com 200 "@$f/registry_com.json"
  route rdap.registrar.example /domain/example.com 200 "@$f/domain_com.json"
}
thin_com_world
lookup thin-com 0 example.com
first thin-com "RDAP: https://rdap.verisign.com/com/v1/domain/example.com"
has thin-com "Anna Müller" "RDAP: https://rdap.registrar.example/domain/example.com"
whois_asked thin-com
https_asked thin-com "rdap.verisign.com /com/v1/domain/example.com" "rdap.registrar.example /domain/example.com"
lookup thin-com-classic 0 --classic --no-convert-to-ip example.com
first thin-com-classic "Domain Name: EXAMPLE.COM"
lacks thin-com-classic "Anna"
whois_asked thin-com-classic "whois.verisign-grs.com${T}domain example.com"

ch_world() { # .ch: an RDAP server only the built-in extra list knows
  world
  route rdap.nic.ch /domain/example.ch 200 "@$f/domain_ch.json"
}
ch_world
lookup ch 0 example.ch
first ch "RDAP: https://rdap.nic.ch/domain/example.ch"
has ch "EXAMPLE.CH" "Anna Müller"
https_asked ch "rdap.nic.ch /domain/example.ch"
lookup ch-rdap 0 --rdap example.ch
same ch-rdap ch

int_world() { # .int: RDAP fails, IANA names itself as the WHOIS server
  world
  whois whois.iana.org int "$f/iana-int.txt"
  whois whois.iana.org nato.int "$f/iana-nato.txt"
  route rdap.iana.org /domain/nato.int 503 "=down for maintenance"
}
int_world
lookup int 0 nato.int
has int "North Atlantic Treaty Organization"
whois_asked int "whois.iana.org${T}int" "whois.iana.org${T}nato.int"
https_asked int "rdap.iana.org /domain/nato.int"

tv_world() { # .tv: RDAP fails; a thin registry names the registrar's port 43
  world
  whois whois.iana.org tv "$f/iana-tv.txt"
  whois tvwhois.verisign-grs.com example.tv "$f/whois-thin-tv.txt"
  whois whois.registrar.example example.tv "$f/whois-registrar-tv.txt"
  route rdap.nic.tv /domain/example.tv 503 "=down for maintenance"
}
tv_world
lookup tv 0 --verbose example.tv
first tv "Domain Name: EXAMPLE.TV"
has tv "Registrant Name: Anna Mueller"
whois_asked tv "whois.iana.org${T}tv" "tvwhois.verisign-grs.com${T}example.tv" "whois.registrar.example${T}example.tv"
https_asked tv "rdap.nic.tv /domain/example.tv"
for side in $(sides); do
  grep -q "^ostrabel-cli: rdap: rdap.nic.tv: HTTP status 503; asking WHOIS instead" "$out/tv.$side.err" ||
    fail "tv ($side): --verbose does not say why RDAP was left: $(cat "$out/tv.$side.err")"
  grep -q "^ostrabel-cli: answered by WHOIS whois.registrar.example:43" "$out/tv.$side.err" ||
    fail "tv ($side): --verbose does not name the protocol that answered"
done

# An address whose WHOIS is unreachable (nothing on ARIN's port 43): ARIN's
# RDAP redirects to RIPE's.
ripe_world() {
  world
  route rdap.arin.net /registry/ip/130.66.76.222 302 - "Location: https://rdap.db.ripe.net/ip/130.66.76.222"
  route rdap.db.ripe.net /ip/130.66.76.222 200 "@$f/ip_ripe.json"
}
ripe_world
lookup ipv4 0 130.66.76.222
first ipv4 "RDAP: https://rdap.db.ripe.net/ip/130.66.76.222"
has ipv4 "FR-BOUYGTEL-LEGACY" "130.66.0.0/16" "Bouygues Télécom SA" "abuse@bouyguestelecom.example"
whois_asked ipv4
https_asked ipv4 "rdap.arin.net /registry/ip/130.66.76.222" "rdap.db.ripe.net /ip/130.66.76.222"
lookup ipv4-classic 1 --classic 130.66.76.222
https_asked ipv4-classic
lacks ipv4-classic "RDAP:"

# RDAP failing keeps the classic result byte for byte: a server error, and a
# certificate from an authority the system does not know (never a request).
world
whois whois.iana.org dev "$f/iana-dev.txt"
route pubapi.registry.google /rdap/domain/example.dev 500 "=internal error"
lookup dev-500 1 --verbose example.dev
same dev-500 dev-classic
https_asked dev-500 "pubapi.registry.google /rdap/domain/example.dev"
for side in $(sides); do
  grep -q "^ostrabel-cli: rdap: pubapi.registry.google: .*500" "$out/dev-500.$side.err" ||
    fail "dev-500 ($side): --verbose does not say why RDAP failed: $(cat "$out/dev-500.$side.err")"
done
ripe_world
rogue_host=rdap.arin.net
lookup ipv4-rogue 1 --verbose 130.66.76.222
same ipv4-rogue ipv4-classic
https_asked ipv4-rogue
# (WinHTTP reports an unknown authority as a failed handshake.)
for side in $(sides); do
  grep -q "^ostrabel-cli: rdap: rdap.arin.net: TLS" "$out/ipv4-rogue.$side.err" ||
    fail "ipv4-rogue ($side): --verbose does not name the TLS failure: $(cat "$out/ipv4-rogue.$side.err")"
done

# --rdap for an address ARIN answers itself; ARIN's WHOIS listens, unasked.
world
whois whois.arin.net '*' "$f/whois-dev.txt"
route rdap.arin.net /registry/ip/8.8.8.8 200 "@$f/ip_arin.json"
lookup ipv4-rdap 0 --rdap 8.8.8.8
first ipv4-rdap "RDAP: https://rdap.arin.net/registry/ip/8.8.8.8"
has ipv4-rdap "GOGL" "Google LLC" "network-abuse@google.com"
whois_asked ipv4-rdap

# An IPv6 address and an AS number (written in lower case), ARIN's port 43 closed.
world
route rdap.db.ripe.net /ip/2001:67c:2e8:22::c100:68b 200 "@$f/ip6_ripe.json"
route rdap.db.ripe.net /autnum/3333 200 "@$f/autnum_ripe.json"
lookup ipv6 0 2001:67c:2e8:22::c100:68b
first ipv6 "RDAP: https://rdap.db.ripe.net/ip/2001:67c:2e8:22::c100:68b"
has ipv6 "2001:67c:2e8::/48" "RIPE-NCC" "NL"
https_asked ipv6 "rdap.db.ripe.net /ip/2001:67c:2e8:22::c100:68b"
lookup asn 0 as3333
first asn "RDAP: https://rdap.db.ripe.net/autnum/3333"
has asn "RIPE-NCC-AS" "3333" "Reseaux IP Europeens"
https_asked asn "rdap.db.ripe.net /autnum/3333"
lookup asn-classic 1 --classic as3333
https_asked asn-classic
lacks asn-classic "RDAP:"

# The bootstrap cache: missing, so IANA's four files are fetched (the
# served dns.json knows .zz, the built-in one does not) and kept; the next
# run finds .zz's RDAP server in them.
world
whois whois.iana.org zz "$f/iana-zz.txt"
for file in dns ipv4 ipv6 asn; do route data.iana.org /rdap/$file.json 200 "@$f/iana/$file.json"; done
route rdap.nic.zz /domain/example.zz 200 "@$f/domain_zz.json"
cache=empty
lookup refresh 1 example.zz
https_asked refresh data.iana.org\ /rdap/{dns,ipv4,ipv6,asn}.json
lacks refresh "RDAP:"
for side in $(sides); do
  dir=$native_cache; [ "$side" = wine ] && dir=$wine_cache
  for file in dns ipv4 ipv6 asn; do
    cmp -s "$dir/$file.json" "$f/iana/$file.json" || fail "refresh ($side): $dir/$file.json is not IANA's file"
  done
done
cache=keep
lookup refreshed 0 example.zz
first refreshed "RDAP: https://rdap.nic.zz/domain/example.zz"
has refreshed "Anna Müller"
https_asked refreshed "rdap.nic.zz /domain/example.zz"

# A data.iana.org that takes the question and never answers: the command
# line waits a few seconds for the refresh, then exits, and the next run does
# not try again (not for a day).
dev_world
route data.iana.org '/rdap/*' 200 '!silent'
cache=empty
lookup stalled 0 --rdap example.dev
https_asked stalled "pubapi.registry.google /rdap/domain/example.dev" "rdap.registrar.example /domain/example.dev" \
  "data.iana.org /rdap/dns.json"
cache=keep
lookup stalled-again 0 --rdap example.dev
https_asked stalled-again "pubapi.registry.google /rdap/domain/example.dev" "rdap.registrar.example /domain/example.dev"
for side in $(sides); do
  ms=$(cat "$out/stalled.$side.ms") again=$(cat "$out/stalled-again.$side.ms")
  [ "$ms" -ge 4900 ] && [ "$ms" -le 15000 ] || fail "stalled ($side): took $ms ms, expected the bounded wait (5 s)"
  [ "$again" -le 4000 ] || fail "stalled-again ($side): took $again ms, waited for a refresh again"
done

echo "times (ms), native / Windows under Wine:"
total_native=0 total_wine=0
for file in "$out"/*.native.ms; do
  row=$(basename "$file" .native.ms)
  echo "  $row: $(cat "$file") / $(cat "$out/$row.wine.ms" 2>/dev/null || echo -)"
  total_native=$((total_native + $(cat "$file")))
  [ -f "$out/$row.wine.ms" ] && total_wine=$((total_wine + $(cat "$out/$row.wine.ms")))
done
echo "  all rows: $total_native / $total_wine"

# ---------------------------------------------------------------- the window
# The RDAP-only TLD, the address whose WHOIS is unreachable, the IPv6 address
# and the AS number typed into the real window, one after another: each
# result box shows the same text as the command line.
if [ "$withwine" = yes ] && [ -f "$bin/ostrabel.exe" ] && [ -f "$bin/gui_probe.exe" ] && command -v xvfb-run >/dev/null; then
  ripe_world
  whois whois.iana.org dev "$f/iana-dev.txt"
  route pubapi.registry.google /rdap/domain/example.dev 200 "@$f/domain_registry.json"
  route rdap.registrar.example /domain/example.dev 200 "@$f/domain_registrar.json"
  route rdap.db.ripe.net /ip/2001:67c:2e8:22::c100:68b 200 "@$f/ip6_ripe.json"
  route rdap.db.ripe.net /autnum/3333 200 "@$f/autnum_ripe.json"
  # The worlds of the registries that left port 43, in one.
  whois whois.nic.info example.info "$f/whois-unsupported.txt"
  route rdap.identitydigital.services /rdap/domain/example.info 200 "@$f/domain_info.json"
  whois whois.verisign-grs.com "domain example.com" "$f/whois-thin-com.txt"
  route rdap.verisign.com /com/v1/domain/example.com 200 "@$f/registry_com.json"
  route rdap.registrar.example /domain/example.com 200 "@$f/domain_com.json"
  route rdap.nic.ch /domain/example.ch 200 "@$f/domain_ch.json"
  whois whois.iana.org int "$f/iana-int.txt"
  whois whois.iana.org nato.int "$f/iana-nato.txt"
  route rdap.iana.org /domain/nato.int 503 "=down for maintenance"
  whois whois.iana.org tv "$f/iana-tv.txt"
  whois tvwhois.verisign-grs.com example.tv "$f/whois-thin-tv.txt"
  whois whois.registrar.example example.tv "$f/whois-registrar-tv.txt"
  route rdap.nic.tv /domain/example.tv 503 "=down for maintenance"
  start_world
  prepare_cache "$wine_cache"
  t0=$(now_ms)
  xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --window "$run" dev=example.dev \
    ipv4=130.66.76.222 ipv6=2001:67c:2e8:22::c100:68b asn=as3333 info=example.info \
    thin-com=example.com ch=example.ch int=nato.int tv=example.tv > "$out/window.log" 2>&1
  echo "  window: $(( $(now_ms) - t0 )) ms (start, 9 lookups, close; $(cat "$out/window.start" 2>/dev/null))"
  stop_world
  [ ! -s "$out/window.fail" ] || fail "window: $(cat "$out/window.fail")"
  first window-dev "RDAP: $dev_registry"
  has window-dev "Anna Müller" "RDAP: $dev_registrar"
  same window-dev dev # that row printed --raw: byte for byte
  # The other rows printed LF lines and a final newline.
  for row in ipv4 ipv6 asn info thin-com ch int tv; do
    [ "$(tr -d '\r' < "$out/window-$row.native")" = "$(cat "$out/$row.native")" ] ||
      fail "window-$row: the result box differs from ostrabel-cli's text"
  done
else
  echo "NOTE: the window row is skipped (needs the Windows ostrabel.exe, gui_probe.exe, Wine and xvfb-run)"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures RDAP end-to-end check(s) failed; outputs are in $out"
  exit 1
fi
echo "RDAP end-to-end: all checks passed$([ "$withwine" = yes ] && echo " (native and Windows under Wine alike)")"
