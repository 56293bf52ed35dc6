#!/usr/bin/env bash
# Remakes docs/screenshot.png: the real ostrabel.exe under Wine on a virtual
# screen, in a fresh prefix made as scripts/run.sh makes its own (its fonts
# included), showing the answer for 144.134.121.81 from the replaying fake
# WHOIS servers of the window end-to-end test (tests/e2e_gui/run_e2e_gui.sh).
# The virtual screen has no window manager, so Wine draws the title bar. Needs
# root (for the private network namespace) and both trees built.
#
#   docs/make_screenshot.sh [NATIVE-BUILD] [WINDOWS-BUILD]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(realpath "${1:-$root/build}")
windows=$(realpath "${2:-$root/build-win32}")
mkdir -p "$native/tests/e2e_gui"
exec bash "$root/tests/e2e_gui/run_e2e_gui.sh" screenshot \
  "$native/bin/fake_whois_replay" "$native/bin/slow_whois" "$native/bin/ostrabel-cli" \
  "$windows/bin" "$root/../shared/whois-samples" "$root/base/server_roles.h" \
  "$native/tests/e2e_gui" "$root/docs/screenshot.png"
