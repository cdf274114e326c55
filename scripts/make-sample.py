#!/usr/bin/python3
"""Writes examples/sample.mgx: a merge on the Contacts table of examples/contacts.mdb, whose
database path is relative so the sample works wherever it is checked out."""

import os
import struct

BODY = ("Dear <<FirstName>> <<LastName>>,\r\n\r\n"
        "{IF \"<<City>>\" \"Is blank\" \"\" THEN \"We do not know your city yet.\" "
        "ELSE \"Greetings to <<City>>!\" \"CASENO\"}\r\n"
        "{IF \"<<Balance>>\" \"Less than\" \"0\" THEN \"Your balance of <<Balance>> is overdue.\" "
        "ELSE \"Thank you for being a member since <<Joined>>.\" \"CASENO\"}\r\n\r\n"
        "Kind regards,\r\nThe Mergix team")

# The file's order: database, To field, From, Reply-To, Subject, table, body.
STRINGS = ["contacts.mdb", "Email", "Mergix Sample <sample@example.com>", "replies@example.com",
           "News from the club", "Contacts", BODY]


def archive_string(text):
    data = text.encode("utf-8")
    if len(data) < 0xFF:
        prefix = struct.pack("<B", len(data))
    elif len(data) < 0xFFFE:
        prefix = struct.pack("<BH", 0xFF, len(data))
    else:
        prefix = struct.pack("<BHI", 0xFF, 0xFFFF, len(data))
    return prefix + data


if __name__ == "__main__":
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")
    with open(os.path.join(folder, "sample.mgx"), "wb") as out:
        out.write(b"".join(archive_string(s) for s in STRINGS))
