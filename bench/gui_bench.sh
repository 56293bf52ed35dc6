#!/usr/bin/env bash
# Window benchmarks of the real ostrabel.exe, under Wine on a virtual screen
# in a private network namespace with fake WHOIS servers (the harness of the
# window end-to-end test, tests/e2e_gui/run_e2e_gui.sh, in its bench mode):
#   - time from process start to the main window shown,
#   - working set at rest and after 100 lookups,
#   - the window thread's longest stall while 20 lookups run at once.
# Needs root (for the namespace) and both trees built.
#
#   bench/gui_bench.sh [NATIVE-BUILD] [WINDOWS-BUILD] [OUT]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(realpath "${1:-$root/build}")
windows=$(realpath "${2:-$root/build-win32}")
out=${3:-$root/bench/gui_bench_results.txt}
mkdir -p "$native/tests/e2e_gui"
exec bash "$root/tests/e2e_gui/run_e2e_gui.sh" bench \
  "$native/bin/fake_whois_replay" "$native/bin/slow_whois" "$native/bin/ostrabel-cli" \
  "$windows/bin" "$root/../shared/whois-samples" "$root/base/server_roles.h" \
  "$native/tests/e2e_gui" "$out"
