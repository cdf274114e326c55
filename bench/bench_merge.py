#!/usr/bin/python3
"""Benchmarks of whole merges through the command line, each beside a reference in the same run:

1. mergix --test-merge over the 100,000 records of big-100k.mdb with a template of 10 field tags
   and 2 {IF} blocks, beside mdb-export of the same table (goal: at most 1.5 times its time);
   with the peak memory of each.
   The test merge is written out as it is made: its peak memory stays within twice that of
   mdb-export.
2. mergix --send of 1,000 records of big-10k.mdb to postfix's smtp-sink, beside smtp-source
   sending as many messages of the same size, one connection each (goal: at least 0.8 of its
   rate).
3. mergix --send of all 100,000 records of big-100k.mdb to smtp-sink, beside smtp-source -s 1
   of the same count, once each: the rates and their ratio (goal at least 0.8), the number of
   failed deliveries (goal 0) and the peak memory (goal at most 64 MB).

Usage: bench/bench_merge.py [BUILD_DIR] [--skip-large]   (default: build)"""

import os
import socket
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ARGS = [a for a in sys.argv[1:] if not a.startswith("--")]
BUILD = ARGS[0] if ARGS else os.path.join(ROOT, "build")
SKIP_LARGE = "--skip-large" in sys.argv
# The large databases, unpacked from bench/data/*.mdb.xz by the build (target bench_data).
FIXTURES = os.path.abspath(os.path.join(BUILD, "bench", "data"))


def require_data(*names):
    """Ends with a clear message when a database the benchmark needs is not there."""
    for name in names:
        if not os.path.exists(os.path.join(FIXTURES, name)):
            sys.exit("%s is missing from %s: build the bench_data target "
                     "(cmake --build %s --target bench_data)" % (name, FIXTURES, BUILD))


MERGIX = os.path.join(BUILD, "mergix")
ROUNDS = 3

TEMPLATE = ("Dear <<FirstName>> <<LastName>> (member <<ID>>),\r\n"
            "{IF \"<<Region>>\" \"Equals\" \"south\" THEN \"Our southern office in <<City>> "
            "greets you.\" ELSE \"Greetings from the head office.\" \"CASENO\"}\r\n"
            "Age <<Age>>, balance <<Balance>>, member since <<Joined>>, active: <<Active>>.\r\n"
            "{IF \"<<Age>>\" \"Greater than or equal\" \"65\" THEN \"Your senior rate applies.\" "
            "ELSE \"Your regular rate applies.\" \"CASENO\"}\r\n"
            "Club house: <<City>>, region <<Region>>. We write to <<Email>>.\r\n")


def mgx(path, database, table, body):
    def string(text):
        data = text.encode("utf-8")
        if len(data) < 0xFF:
            return struct.pack("<B", len(data)) + data
        return struct.pack("<BH", 0xFF, len(data)) + data
    fields = [database, "Email", "Bench <bench@example.com>", "reply@example.com",
              "Benchmark", table, body]
    with open(path, "wb") as out:
        out.write(b"".join(string(f) for f in fields))


def timed(command, accept=(0,), errors=None, **kwargs):
    """Runs a command; returns (seconds, peak memory in KiB of it and what it waited for). Its
    standard error goes to the file object errors when one is given."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL,
                               stderr=errors if errors else subprocess.DEVNULL, **kwargs)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode not in accept:
        sys.exit("failed (%d): %s" % (process.returncode, " ".join(command)))
    return elapsed, usage.ru_maxrss


def start_sink():
    """Starts postfix's smtp-sink on a free port; returns (process, port)."""
    port = free_port()
    sink_command = ["/usr/sbin/smtp-sink"]
    if os.geteuid() == 0:
        sink_command += ["-u", "nobody"]
    sink = subprocess.Popen(sink_command + ["127.0.0.1:%d" % port, "256"])
    time.sleep(0.3)
    return sink, port


def source_command(port, count, size):
    return ["/usr/sbin/smtp-source", "-s", "1", "-m", str(count), "-l", str(size),
            "-M", "localhost", "-f", "bench@example.com", "-t", "rcpt@example.org",
            "127.0.0.1:%d" % port]


def large_send(folder, env):
    """Every record of big-100k.mdb to smtp-sink, beside smtp-source of the same count."""
    count = 100000
    send = os.path.join(folder, "large.mgx")
    mgx(send, os.path.join(FIXTURES, "big-100k.mdb"), "Recipients", TEMPLATE)
    sink, port = start_sink()
    try:
        with tempfile.TemporaryFile() as errors:
            ours, peak = timed([MERGIX, "--send", send, "--server", "127.0.0.1:%d" % port],
                               accept=(0, 1), errors=errors, env=env)
            errors.seek(0)
            lines = errors.read().decode("utf-8", "replace").splitlines()
        failed = sum(1 for line in lines if line.startswith("mergix:   "))
        ref = timed(source_command(port, count, 600))[0]
    finally:
        sink.kill()
        sink.wait()
    print("send of all %d records of big-100k.mdb to smtp-sink, once each" % count)
    print("  mergix --send: %7.0f messages/s (%.1f s, loading the table included), peak %d KiB"
          % (count / ours, ours, peak))
    print("  smtp-source:   %7.0f messages/s (%.1f s)" % (count / ref, ref))
    print("  send of 100,000: rate / smtp-source:  %7.2f (goal >= 0.8)" % (ref / ours))
    print("  send of 100,000: failed deliveries:   %7d (goal 0)" % failed)
    print("  send of 100,000: peak memory:         %7.1f MB (goal <= 64)" % (peak / 1024))


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    require_data("big-10k.mdb", "big-100k.mdb")
    env = dict(os.environ, LANG="en_US.UTF-8", LC_ALL="en_US.UTF-8")
    with tempfile.TemporaryDirectory() as folder:
        env["XDG_CONFIG_HOME"] = folder
        big = os.path.join(FIXTURES, "big-100k.mdb")
        merge = os.path.join(folder, "big.mgx")
        mgx(merge, big, "Recipients", TEMPLATE)
        ours = min((timed([MERGIX, "--test-merge", merge], env=env) for _ in range(ROUNDS)))
        ref = min((timed(["mdb-export", big, "Recipients"]) for _ in range(ROUNDS)))
        print("test merge of 100,000 records (10 tags, 2 {IF} blocks), best of %d" % ROUNDS)
        print("  mergix --test-merge: %.3f s, peak %d KiB" % ours)
        print("  mdb-export:          %.3f s, peak %d KiB" % ref)
        print("  test merge time / mdb-export:         %.2f (goal <= 1.5)" % (ours[0] / ref[0]))
        print("  test merge peak memory / mdb-export:  %.2f (goal <= 2)" % (ours[1] / ref[1]))

        sink, port = start_sink()
        try:
            send = os.path.join(folder, "send.mgx")
            mgx(send, os.path.join(FIXTURES, "big-10k.mdb"), "Recipients", TEMPLATE)
            count = 1000
            command = [MERGIX, "--send", send, "--server", "127.0.0.1:%d" % port, "--again",
                       "--where", "ID", "Less than or equal", str(count)]
            ours = min(timed(command, env=env)[0] for _ in range(ROUNDS))
            ref = min(timed(source_command(port, count, 600))[0] for _ in range(ROUNDS))
        finally:
            sink.kill()
            sink.wait()
        print("send of %d messages (about 600 bytes each) to smtp-sink, best of %d" % (count, ROUNDS))
        print("  mergix --send: %7.0f messages/s (%.2f s, loading the table included)"
              % (count / ours, ours))
        print("  smtp-source:   %7.0f messages/s" % (count / ref))
        print("  send of 1,000: rate / smtp-source:   %7.2f (goal >= 0.8)" % (ref / ours))
        if not SKIP_LARGE:
            large_send(folder, env)


if __name__ == "__main__":
    main()
