#!/usr/bin/python3
"""A real SMTP server for the tests, on aiosmtpd: listens on 127.0.0.1 with a port the system
picks, prints "PORT <n>", and stores each accepted message as JSON in the folder it is given,
parsed with Python's email package. Recipients that match the rejection pattern (by default
addresses starting with "reject") are refused with 550; recipients that match the slow pattern
(by default addresses starting with "slow") are answered only after two seconds. Stops when its input closes or after the given seconds."""

import asyncio
import base64
import email
import email.policy
import json
import os
import re
import sys

from aiosmtpd.smtp import SMTP


class StoringHandler:
    def __init__(self, folder, reject, slow):
        self.folder = folder
        self.reject = re.compile(reject, re.IGNORECASE)
        self.slow = re.compile(slow, re.IGNORECASE)
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.slow.search(address):
            await asyncio.sleep(2)
        if self.reject.search(address):
            return "550 5.1.1 Recipient refused"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        raw = envelope.original_content
        summary = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "raw": base64.b64encode(raw).decode("ascii"),
            "bare_lf": re.search(rb"(?<!\r)\n", raw) is not None,
            "bare_cr": re.search(rb"\r(?!\n)", raw) is not None,
        }
        try:
            message = email.message_from_bytes(raw, policy=email.policy.default)
            date = message["Date"]
            summary.update({
                "header_names": list(message.keys()),
                "subject": str(message["Subject"]),
                "from_display": message["From"].addresses[0].display_name,
                "from_address": message["From"].addresses[0].addr_spec,
                "to": str(message["To"]),
                "reply_to": str(message["Reply-To"]),
                "date": date.datetime.isoformat() if date is not None and date.datetime else "",
                "x_mailer": str(message["X-Mailer"]),
                "charset": message.get_content_charset() or "",
                "body": message.get_content(),
                "defects": [type(d).__name__ for d in message.defects]
                + [type(d).__name__ for name in message.keys() for d in message[name].defects],
            })
        except Exception as error:  # a message the parser refuses is reported, not lost
            summary["parse_error"] = repr(error)
        self.count += 1
        path = os.path.join(self.folder, "%04d.json" % self.count)
        with open(path + ".tmp", "w", encoding="utf-8") as out:
            json.dump(summary, out)
        os.rename(path + ".tmp", path)
        return "250 Message accepted"


async def main(folder, lifetime, reject, slow):
    handler = StoringHandler(folder, reject, slow)
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: SMTP(handler, hostname="test.invalid", enable_SMTPUTF8=True),
        host="127.0.0.1", port=0)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    try:
        await asyncio.wait_for(sys_stdin_closed(loop), timeout=lifetime)
    except asyncio.TimeoutError:
        pass
    server.close()


async def sys_stdin_closed(loop):
    """Returns when the test closes our standard input (or ends)."""
    reader = asyncio.StreamReader()
    await loop.connect_read_pipe(lambda: asyncio.StreamReaderProtocol(reader), sys.stdin)
    await reader.read()


if __name__ == "__main__":
    asyncio.run(main(sys.argv[1], float(sys.argv[2]) if len(sys.argv) > 2 else 120.0,
                     sys.argv[3] if len(sys.argv) > 3 else "^reject",
                     sys.argv[4] if len(sys.argv) > 4 else "^slow"))
