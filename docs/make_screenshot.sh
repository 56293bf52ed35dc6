#!/usr/bin/env bash
# Remakes docs/screenshot.png: the real ostrabel.exe under Wine on a virtual
# screen, in a fresh prefix made as scripts/run.sh makes its own (its fonts
# included), showing the answer for 144.134.121.81 from the replaying fake
# WHOIS servers of the window end-to-end test (tests/netsim/test_window.py,
# its test_screenshot). The virtual screen has no window manager, so Wine
# draws the title bar. Needs root (for the private network namespace) and
# both trees built.
#
#   docs/make_screenshot.sh [NATIVE-BUILD] [WINDOWS-BUILD]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(realpath "${1:-$root/build}")
windows=$(realpath "${2:-$root/build-win32}")
export NETSIM_WORK=$native/tests/netsim/screenshot NETSIM_SCREENSHOT_OUT=$root/docs/screenshot.png
export OSTRABEL_CLI=$native/bin/ostrabel-cli OSTRABEL_WIN32_BIN=$windows/bin
exec /usr/bin/python3 -m pytest -p no:cacheprovider -q -rs -s "$root/tests/netsim/test_window.py" -k test_screenshot
