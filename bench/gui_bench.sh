#!/usr/bin/env bash
# Window benchmarks of the real ostrabel.exe, under Wine on a virtual screen
# in the fake Internet of the end-to-end tests (tests/netsim/test_window.py,
# its test_bench):
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
out=$(realpath -m "${3:-$root/bench/gui_bench_results.txt}")
export NETSIM_WORK=$native/tests/netsim/bench NETSIM_BENCH_OUT=$out
export OSTRABEL_CLI=$native/bin/ostrabel-cli OSTRABEL_WIN32_BIN=$windows/bin
exec /usr/bin/python3 -m pytest -p no:cacheprovider -q -rs -s "$root/tests/netsim/test_window.py" -k test_bench
