#!/usr/bin/python3
"""Opening Choose Recipients on a merge over the 100,000 records of big-100k.mdb until the rows
are shown (offscreen), beside mdb-export of the same table, in the same run: both times, the
ratio (goal at most 2.0) and the peak memory of each.

Usage: bench/bench_recipients.py [BUILD_DIR]   (default: build)"""

import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_merge import ROOT, ROUNDS, mgx, require_data, timed  # noqa: E402

BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
FIXTURES = os.path.abspath(os.path.join(BUILD, "bench", "data"))


def main():
    require_data("big-100k.mdb")
    with tempfile.TemporaryDirectory() as folder:
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=folder,
                   XDG_CONFIG_HOME=folder, LANG="en_US.UTF-8", LC_ALL="en_US.UTF-8")
        big = os.path.join(FIXTURES, "big-100k.mdb")
        merge = os.path.join(folder, "big.mgx")
        mgx(merge, big, "Recipients", "Dear <<FirstName>>,")
        ours = min(timed([os.path.join(BUILD, "bench", "open_recipients"), merge], env=env)
                   for _ in range(ROUNDS))
        ref = min(timed(["mdb-export", big, "Recipients"]) for _ in range(ROUNDS))
    print("Choose Recipients on 100,000 records until shown, best of %d" % ROUNDS)
    print("  mergix (offscreen): %.3f s, peak %d KiB" % ours)
    print("  mdb-export:         %.3f s, peak %d KiB" % ref)
    print("  Choose Recipients time / mdb-export: %.2f (goal <= 2.0)" % (ours[0] / ref[0]))


if __name__ == "__main__":
    main()
