#!/usr/bin/python3
"""What the send journal costs: mergix --send of the 10,000 records of big-10k.mdb to postfix's
smtp-sink with the journal (SQLite, WAL, two committed changes a message), beside the same send
with --no-journal, in the same run; best of 5 each, taken in turns.

Goal: the journal costs at most 10% of the time.

Usage: bench/bench_journal.py [BUILD_DIR]   (default: build)"""

import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_merge import FIXTURES, MERGIX, TEMPLATE, mgx, require_data, start_sink, timed  # noqa: E402

COUNT = 10000
ROUNDS = 5


def main():
    require_data("big-10k.mdb")
    with tempfile.TemporaryDirectory() as folder:
        env = dict(os.environ, LANG="en_US.UTF-8", LC_ALL="en_US.UTF-8", XDG_CONFIG_HOME=folder,
                   XDG_DATA_HOME=folder)
        merge = os.path.join(folder, "send.mgx")
        mgx(merge, os.path.join(FIXTURES, "big-10k.mdb"), "Recipients", TEMPLATE)
        sink, port = start_sink()
        try:
            send = [MERGIX, "--send", merge, "--server", "127.0.0.1:%d" % port]
            with_journal, without = [], []
            for _ in range(ROUNDS):
                # The same message to the same recipients each round: --again says it is meant.
                with_journal.append(timed(send + ["--again"], env=env)[0])
                without.append(timed(send + ["--no-journal"], env=env)[0])
        finally:
            sink.kill()
            sink.wait()
        journal = os.path.getsize(merge + ".journal")
    on, off = min(with_journal), min(without)
    print("send of %d messages to smtp-sink, best of %d" % (COUNT, ROUNDS))
    print("  with the journal:    %6.2f s (%5.0f messages/s)" % (on, COUNT / on))
    print("  without the journal: %6.2f s (%5.0f messages/s)" % (off, COUNT / off))
    print("  cost of the journal: %+6.1f%% (goal <= 10%%)" % ((on / off - 1) * 100))
    print("  journal size after %d runs: %.1f MB" % (ROUNDS, journal / 1e6))


if __name__ == "__main__":
    main()
