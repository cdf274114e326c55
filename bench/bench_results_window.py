#!/usr/bin/python3
"""A test merge of the 100,000 records of big-100k.mdb shown in the Test Mail Merge Results
window until painted, then closed (offscreen), beside the same text in a read-only
QPlainTextEdit, in the same run: what the window costs beyond the text it shows (goal: window
and text together at most twice the text), what stays after it closes (goal: nothing kept), and
the peak of each process.

Usage: bench/bench_results_window.py [BUILD_DIR]   (default: build)"""

import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_merge import ROOT, ROUNDS, mgx, require_data  # noqa: E402

BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
FIXTURES = os.path.abspath(os.path.join(BUILD, "bench", "data"))
BODY = ("Dear <<FirstName>>,\r\n\r\nThe club meets on Thursday at eight in the hall on Station "
        "Road, and we hope to see you there with your family and friends.\r\n\r\n"
        "Best wishes,\r\nThe committee")


def measure(merge, mode, env):
    """(text, window with its text, kept after closing, peak) in MiB, the best of ROUNDS."""
    best = None
    for _ in range(ROUNDS):
        out = subprocess.run([os.path.join(BUILD, "bench", "results_window"), merge, mode],
                             env=env, capture_output=True, text=True, check=True).stdout
        text, before, made, shown, after, peak = (int(v) / 1024 for v in out.split())
        row = (text, shown - made + text, after - before, peak)
        best = row if best is None or row[1] < best[1] else best
    return best


def main():
    require_data("big-100k.mdb")
    with tempfile.TemporaryDirectory() as folder:
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=folder,
                   XDG_CONFIG_HOME=folder, LANG="en_US.UTF-8", LC_ALL="en_US.UTF-8")
        merge = os.path.join(folder, "big.mgx")
        mgx(merge, os.path.join(FIXTURES, "big-100k.mdb"), "Recipients", BODY)
        ours = measure(merge, "ours", env)
        ref = measure(merge, "text-edit", env)
    print("Test merge of 100,000 records in the results window, best of %d (MiB)" % ROUNDS)
    print("  %-16s %8s %16s %14s %8s" % ("", "text", "window+text", "kept after", "peak"))
    for name, (text, window, kept, peak) in (("mergix", ours), ("QPlainTextEdit", ref)):
        print("  %-16s %8.1f %8.1f (%.2fx) %14.1f %8.1f"
              % (name, text, window, window / text, kept, peak))
    print("  mergix: window+text %.2fx the text (goal <= 2.0), %.1f MiB kept after closing "
          "(goal: fonts only, a few MiB)" % (ours[1] / ours[0], ours[2]))


if __name__ == "__main__":
    main()
