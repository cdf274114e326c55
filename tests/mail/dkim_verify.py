#!/usr/bin/python3
"""Verifies the DKIM signature of a message with python3-dkim, its DNS lookup answered from a
file: dkim_verify.py MESSAGE TXT-RECORD. Exit 0 when the signature holds, 1 when not."""
import sys

import dkim

with open(sys.argv[1], "rb") as message, open(sys.argv[2], "rb") as record:
    raw, txt = message.read(), record.read().strip()
sys.exit(0 if dkim.verify(raw, dnsfunc=lambda name, timeout=5: txt) else 1)
