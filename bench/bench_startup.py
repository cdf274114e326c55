#!/usr/bin/python3
"""Start-up time of the windowed program, beside a minimal Qt Widgets program that shows an empty
QMainWindow, both on the offscreen platform in the same run: from process start until the main
window has been shown (the program quits at once when MERGIX_BENCH_QUIT_WHEN_SHOWN is set).
For comparison only, a main window with menus, standard icons and text shows what any window
with text pays on top of the empty one.

1. mergix examples/sample.mgx (goal: at most 1.5 times the reference);
2. mergix on a merge over big-100k.mdb (goal: within 0.2 s of the sample: opening a merge does
   not read the table's rows).

Usage: bench/bench_startup.py [BUILD_DIR]   (default: build)"""

import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_merge import ROOT, mgx, require_data  # noqa: E402

BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
FIXTURES = os.path.abspath(os.path.join(BUILD, "bench", "data"))
ROUNDS = 15


def timed(command, env):
    start = time.perf_counter()
    subprocess.run(command, env=env, check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def median(command, env):
    timed(command, env)  # warm the caches
    return statistics.median(timed(command, env) for _ in range(ROUNDS))


def main():
    require_data("big-100k.mdb")
    with tempfile.TemporaryDirectory() as folder:
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", MERGIX_BENCH_QUIT_WHEN_SHOWN="1",
                   XDG_CONFIG_HOME=folder, XDG_RUNTIME_DIR=folder)
        big = os.path.join(folder, "big.mgx")
        mgx(big, os.path.join(FIXTURES, "big-100k.mdb"), "Recipients", "Dear <<FirstName>>,")
        mergix = os.path.join(BUILD, "mergix")
        reference = median([os.path.join(BUILD, "bench", "startup_reference")], env)
        text_window = median([os.path.join(BUILD, "bench", "startup_text_window")], env)
        sample = median([mergix, os.path.join(ROOT, "examples", "sample.mgx")], env)
        large = median([mergix, big], env)
    print("time to the shown main window, offscreen, median of %d" % ROUNDS)
    print("  empty QMainWindow:            %.3f s" % reference)
    print("  window with menus and text:   %.3f s" % text_window)
    print("  mergix examples/sample.mgx:   %.3f s" % sample)
    print("  mergix on big-100k.mdb:       %.3f s" % large)
    print("  ratio sample / reference:     %.2f (goal <= 1.5)" % (sample / reference))
    print("  ratio sample / text window:   %.2f (for comparison)" % (sample / text_window))
    print("  big-100k minus sample:        %.3f s (goal <= 0.2)" % (large - sample))


if __name__ == "__main__":
    main()
