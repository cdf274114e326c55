#!/usr/bin/python3
"""Peak memory of a send with a 10 MB attachment, as the list grows: the same merge sent to
10 and to many recipients (1,000 unless given) in the same run, through a local SMTP sink that
reads and drops what it is sent. Attachments are read when each message is made and never kept
for the run, and large messages lower how many are in flight, so the peak must stay flat: the
goal is the many-recipient peak within 1.25x of the 10-recipient one.

Usage: bench/bench_attachments.py [BUILD_DIR] [RECIPIENTS]"""

import asyncio
import os
import struct
import sys
import tempfile
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_merge import ROOT, timed  # noqa: E402

BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
MANY = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
MERGIX = os.path.join(BUILD, "mergix")
ATTACHMENT_BYTES = 10 << 20


class Sink:
    """An SMTP server on 127.0.0.1 that takes every message and keeps nothing of it."""

    def __init__(self):
        self.messages = 0
        self.loop = asyncio.new_event_loop()
        self.ready = threading.Event()
        threading.Thread(target=self._serve, daemon=True).start()
        self.ready.wait()

    def _serve(self):
        asyncio.set_event_loop(self.loop)
        server = self.loop.run_until_complete(
            asyncio.start_server(self._session, "127.0.0.1", 0, limit=1 << 20))
        self.port = server.sockets[0].getsockname()[1]
        self.ready.set()
        self.loop.run_forever()

    async def _session(self, reader, writer):
        writer.write(b"220 sink\r\n")
        try:
            while True:
                line = await reader.readline()
                if not line:
                    break
                verb = line[:4].upper()
                if verb == b"EHLO":
                    writer.write(b"250 sink\r\n")
                elif verb == b"DATA":
                    writer.write(b"354 go on\r\n")
                    await writer.drain()
                    tail = b""
                    while not tail.endswith(b"\r\n.\r\n"):
                        chunk = await reader.read(1 << 20)
                        if not chunk:
                            return
                        tail = (tail + chunk)[-5:]
                    self.messages += 1
                    writer.write(b"250 taken\r\n")
                elif verb == b"QUIT":
                    writer.write(b"221 bye\r\n")
                    await writer.drain()
                    break
                else:
                    writer.write(b"250 OK\r\n")
                await writer.drain()
        finally:
            writer.close()


def string(text):
    data = text.encode("utf-8")
    if len(data) < 0xFF:
        return struct.pack("<B", len(data)) + data
    return struct.pack("<BH", 0xFF, len(data)) + data


def merge_file(folder, count):
    """A merge of a CSV list of count recipients, each sent the same 10 MB file."""
    name = "list-%d" % count
    with open(os.path.join(folder, name + ".csv"), "w") as out:
        out.write("Name,Email\r\n")
        for i in range(count):
            out.write("Member %d,member%d@example.org\r\n" % (i, i))
    path = os.path.join(folder, name + ".mgx")
    fields = [name + ".csv", "Email", "Bench <bench@example.com>", "reply@example.com",
              "Programme for <<Name>>", name, "Dear <<Name>>,\r\nthe programme is attached.",
              "Mergix properties", "1", "1", "Attachments", "programme.pdf"]
    with open(path, "wb") as out:
        out.write(b"".join(string(f) for f in fields))
    return path


def main():
    sink = Sink()
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "programme.pdf"), "wb") as out:
            out.write(os.urandom(ATTACHMENT_BYTES))
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=folder,
                   XDG_CONFIG_HOME=folder, LANG="C.UTF-8")
        results = {}
        for count in (10, MANY):
            before = sink.messages
            seconds, peak = timed([MERGIX, "--send", merge_file(folder, count), "--server",
                                   "127.0.0.1:%d" % sink.port, "--no-journal"], env=env)
            if sink.messages - before != count:
                sys.exit("the sink took %d of %d messages" % (sink.messages - before, count))
            results[count] = (seconds, peak)

    print("A 10 MB attachment sent to each recipient of a list")
    for count, (seconds, peak) in results.items():
        print("  %6d recipients: %7.1f s, peak %7d KiB" % (count, seconds, peak))
    print("  peak memory %d recipients / 10 recipients: %.2f (goal <= 1.25)"
          % (MANY, results[MANY][1] / results[10][1]))


if __name__ == "__main__":
    main()
