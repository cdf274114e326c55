#!/usr/bin/env bash
# Inside the test session (see run_e2e.sh): starts the accessibility bus, waits for its
# registry, and runs the tests.
set -uo pipefail
cd "$(dirname "$0")"
/usr/libexec/at-spi-bus-launcher --launch-immediately 2>/dev/null &
# The registry must be up before a program looks for it, or the program stays unseen.
for _ in $(seq 50); do
    /usr/bin/python3 -W ignore -c "import pyatspi; pyatspi.Registry.getDesktop(0)" 2>/dev/null \
        && break
    sleep 0.1
done
sleep 0.5
# A desktop keyring, as users have: gnome-keyring's secret service, unlocked with a throwaway
# password, keeping its files in the session's own folder.
export XDG_DATA_HOME="$XDG_RUNTIME_DIR/data"
mkdir -p "$XDG_DATA_HOME"
. ../support/start_keyring.sh
log="$XDG_RUNTIME_DIR/e2e.log"
run() { /usr/bin/python3 -W ignore::DeprecationWarning -m unittest -v "$@" 2>&1; }
# The tests named as arguments (test_program.ProgramTests.test_...), else all.
if run "${@:-test_program}" | tee "$log"; then
    exit 0
fi
# The accessibility bus of a fresh session is sometimes slow to see a new program: the failed
# tests get one more run, and the log says so.
failed=$(sed -n 's/^\(FAIL\|ERROR\): \(test_[a-z_]*\).*/test_program.ProgramTests.\2/p' "$log")
[ -n "$failed" ] || exit 1
echo "end-to-end: running again once after a failure: $failed"
run $failed
