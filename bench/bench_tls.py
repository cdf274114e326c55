#!/usr/bin/python3
"""Secure sending beside plain sending, in the same run, against the same SMTP server (the
aiosmtpd server of the test suite in its counting mode, which stores nothing):

1. mergix --send --security tls: 1,000 messages over reused TLS connections with a login
   (AUTH PLAIN), four connections;
2. mergix --send --security none: the same 1,000 messages, one plain connection each;
3. smtp-source -s 4: 1,000 messages of the same size in plain text over four connections.

Goal: the reused TLS connections are at least as fast as the per-message plain connections.
The certificates are made for the run with openssl.

Usage: bench/bench_tls.py [BUILD_DIR]   (default: build)"""

import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench_merge import FIXTURES, MERGIX, ROOT, TEMPLATE, mgx, require_data, timed  # noqa: E402

sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
from certificates import make_certificates  # noqa: E402

SERVER = os.path.join(ROOT, "tests", "mail", "smtp_test_server.py")
COUNT = 1000
ROUNDS = 3


class Server:
    """The test suite's SMTP server in counting mode, with the options given."""

    def __init__(self, folder, *options):
        os.makedirs(folder, exist_ok=True)
        self.process = subprocess.Popen(
            ["/usr/bin/python3", SERVER, folder, "3600", "^reject", "^slow", "--sink"]
            + list(options), stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline().split()
        if not line or line[0] != "PORT":
            sys.exit("the SMTP server did not start")
        self.address = "127.0.0.1:" + line[1]

    def stop(self):
        self.process.stdin.close()
        tail = self.process.stdout.read().split()
        self.process.wait(timeout=30)
        return int(tail[1]) if len(tail) == 2 and tail[0] == "MESSAGES" else -1


def main():
    require_data("big-10k.mdb")
    with tempfile.TemporaryDirectory() as folder:
        ca, cert, key = make_certificates(folder)
        config = os.path.join(folder, "config", "Corvane Software")
        os.makedirs(config)
        with open(os.path.join(config, "Mergix.conf"), "w") as conf:
            conf.write("[General]\nSMTPTrustedCAFile=%s\n" % ca)
        env = dict(os.environ, LANG="en_US.UTF-8", LC_ALL="en_US.UTF-8",
                   XDG_CONFIG_HOME=os.path.join(folder, "config"),
                   MERGIX_SMTP_PASSWORD="bench pass")
        merge = os.path.join(folder, "send.mgx")
        mgx(merge, os.path.join(FIXTURES, "big-10k.mdb"), "Recipients", TEMPLATE)
        # Each round sends the same message again: --again says it is meant.
        selection = ["--where", "ID", "Less than or equal", str(COUNT), "--again"]

        secure = Server(os.path.join(folder, "tls"), "--tls", cert, key, "--mode", "tls",
                        "--auth", "bench:bench pass")
        plain = Server(os.path.join(folder, "plain"))
        try:
            tls = min(timed([MERGIX, "--send", merge, "--server", secure.address, "--security",
                             "tls", "--user", "bench"] + selection, env=env)[0]
                      for _ in range(ROUNDS))
            per_message = min(timed([MERGIX, "--send", merge, "--server", plain.address,
                                     "--security", "none", "--user", ""] + selection,
                                    env=env)[0] for _ in range(ROUNDS))
            host, port = plain.address.split(":")
            source = min(timed(["/usr/sbin/smtp-source", "-s", "4", "-m", str(COUNT), "-l", "600",
                                "-M", "localhost", "-f", "bench@example.com", "-t",
                                "rcpt@example.org", "%s:%s" % (host, port)])[0]
                         for _ in range(ROUNDS))
        finally:
            received_tls = secure.stop()
            received_plain = plain.stop()

    print("send of %d messages (about 600 bytes each) to the aiosmtpd server, best of %d"
          % (COUNT, ROUNDS))
    print("  mergix, TLS, login, 4 reused connections: %6.0f messages/s (%.2f s)"
          % (COUNT / tls, tls))
    print("  mergix, plain, one connection a message:  %6.0f messages/s (%.2f s)"
          % (COUNT / per_message, per_message))
    print("  smtp-source -s 4, plain:                  %6.0f messages/s (%.2f s)"
          % (COUNT / source, source))
    print("  TLS reused / plain per message:           %6.2f (goal >= 1)" % (per_message / tls))
    print("  TLS reused / smtp-source plain:           %6.2f" % (source / tls))
    print("  messages the servers took: TLS %d (expected %d), plain %d (expected %d)"
          % (received_tls, COUNT * ROUNDS, received_plain, COUNT * ROUNDS * 2))


if __name__ == "__main__":
    main()
