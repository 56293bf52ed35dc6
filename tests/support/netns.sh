# Shared by the tests that run the programs in a private network namespace
# (end-to-end, window end-to-end, hostile servers): sourced, not run.

# netns_require WHAT [TOOL...]: exits 77 (ctest's "skipped") unless a private
# network and mount namespace can be made here (root, with unshare) and every
# TOOL named is on the PATH.
netns_require() {
  if [ "$(id -u)" != 0 ] || ! command -v unshare >/dev/null || ! unshare --mount --net true 2>/dev/null; then
    echo "SKIP: $1 need root and 'unshare --mount --net' (private network namespace)"
    exit 77
  fi
  shift
  local tool
  for tool; do
    command -v "$tool" >/dev/null || { echo "SKIP: '$tool' is missing"; exit 77; }
  done
}

# netns_role_hosts ROLES-HEADER: prints "127.0.0.N host" for every server host
# the program knows (base/server_roles.h), N from 2 on, and leaves the next
# free N in netns_next. Call it in the current shell ({ ...; } > file, not a
# pipe) when netns_next is wanted afterwards.
netns_role_hosts() {
  netns_next=2
  local host
  for host in $(grep -o '"[a-z0-9.-]*"' "$1" | tr -d '"' | grep -v '^http' | grep '\.'); do
    echo "127.0.0.$netns_next $host"
    netns_next=$((netns_next + 1))
  done
}

# netns_setup HOSTS [RESOLV-CONF]: inside the namespace, brings loopback up and
# lays the test's hosts file (and resolver configuration) over /etc.
netns_setup() {
  ip link set lo up || { echo "FAIL: loopback"; exit 1; }
  mount --bind "$1" /etc/hosts || { echo "FAIL: bind mount of /etc/hosts"; exit 1; }
  if [ -n "${2:-}" ]; then
    mount --bind "$2" /etc/resolv.conf || { echo "FAIL: bind mount of /etc/resolv.conf"; exit 1; }
  fi
}

# netns_start_servers WHAT TOOL CONF REQUESTS READY ERRORS: starts the fake
# server tool in the background (its pid in netns_server_pid) and waits up to
# 10 s for it to create READY; otherwise kills it, shows ERRORS and fails.
netns_start_servers() {
  local what=$1 tool=$2 conf=$3 requests=$4 ready=$5 errors=$6
  "$tool" "$conf" "$requests" "$ready" 2>"$errors" &
  netns_server_pid=$!
  for _ in $(seq 100); do [ -e "$ready" ] && return 0; sleep 0.1; done
  echo "FAIL: $what did not start:"
  cat "$errors"
  kill "$netns_server_pid" 2>/dev/null
  exit 1
}

# netns_wine_prefix PREFIX TMPDIR: the Wine prefix of a command-line test,
# made outside the namespace (wineboot needs nothing from the network but
# takes long) with wine_env from scripts/common.sh; wineserver is stopped so
# that it starts again inside the namespace, where the sockets live.
netns_wine_prefix() {
  wine_env "$1"
  export TMPDIR=$2 # Wine leaves temporary folders behind
  mkdir -p "$TMPDIR"
  [ -f "$WINEPREFIX/system.reg" ] || timeout 300 wineboot -i >/dev/null 2>&1
  wineserver -k >/dev/null 2>&1
}

# netns_records FILE: leaves in FILE (a client's standard output) only the
# records, as the classic mode would print them: the owner summary above them
# (the label lines up to the first empty line), the line after an answer that
# was cut off, and a lone reason line ("No answer: ...") are taken out. The
# suites that check the chain compare records; the summary and the reason
# lines have tests of their own.
netns_records() {
  /usr/bin/python3 - "$1" <<'PY'
import re, sys
path = sys.argv[1]
data = open(path, 'rb').read()
labels = (rb'Domain|Network|AS number|Name|AS name|Registrant|Owner|Registrar|Created|'
          rb'Expires|Status|Name servers|Country|Abuse contact|Source')
summary = re.match(rb'(?:(?:' + labels + rb'):  *[^\n]*\n)+\r?\n', data)
if summary:
    data = data[summary.end():]
data = re.sub(rb'\r?\nThe answer from [^\n]* was cut off: [^\n]*(?=\n?\Z)', b'', data)
data = re.sub(rb'\ANo answer: [^\n]*(?=\n?\Z)', b'', data)
open(path, 'wb').write(data)
PY
}
