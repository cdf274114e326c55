#!/usr/bin/env bash
# Runs the end-to-end tests: the built program under Xvfb, in a D-Bus session of its own with
# the accessibility bus, driven through its accessibility tree by /usr/bin/python3.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
export MERGIX_EXE="${1:?the mergix executable}"
runtime="$(mktemp -d)"
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
export XDG_RUNTIME_DIR="$runtime"
unset QT_QPA_PLATFORM
exec timeout -k 5 280 xvfb-run -a -s "-screen 0 1280x1024x24" \
    dbus-run-session -- bash "$here/run_in_session.sh" "${@:2}"
