#!/usr/bin/env bash
# Renders every window and dialog of Mergix under Xvfb into PNG files in the folder given
# (default: screenshots/), for a person to look at: the main window on the sample merge and
# the start-up choice from the real program, the other dialogs through build/tests/render_dialogs.
# Then all of them again in larger-font/, as a desktop set to 144 dpi (larger text, everything
# drawn 1.5 times larger) shows them, the main window on a 1280 by 800 screen.
set -euo pipefail
cd "$(dirname "$0")/.."
out="$(realpath -m "${1:-screenshots}")"
mkdir -p "$out"
./scripts/install-deps.sh
./scripts/build.sh >&2
build="${MERGIX_BUILD_DIR:-build}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM

# Shows the program for a few seconds and takes the whole screen.
screen="1024x768x24"
shoot() {
    local name="$1"
    shift
    xvfb-run -a -s "-screen 0 $screen" bash -c '
        "$@" & pid=$!
        sleep 3
        /usr/bin/import -window root "'"$out/$name"'"
        kill $pid; wait $pid 2>/dev/null || true' _ "$@"
}
shoot main-window.png "$build/mergix" examples/sample.mgx
shoot startup-screen.png "$build/mergix"
xvfb-run -a -s "-screen 0 $screen" "$build/tests/render_dialogs" "$out"

screen="1280x800x24"
export QT_FONT_DPI=144
mkdir -p "$out/larger-font"
shoot larger-font/main-window.png "$build/mergix" examples/sample.mgx
shoot larger-font/startup-screen.png "$build/mergix"
xvfb-run -a -s "-screen 0 $screen" "$build/tests/render_dialogs" "$out/larger-font"
ls -1 "$out" "$out/larger-font"
