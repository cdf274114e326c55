#!/usr/bin/python3
"""A real SMTP server for the tests, on aiosmtpd: listens on 127.0.0.1 with a port the system
picks, prints "PORT <n>", and stores each accepted message as JSON in the folder it is given,
parsed with Python's email package. Recipients that match the rejection pattern (by default
addresses starting with "reject") are refused with 550; recipients that match the slow pattern
(by default addresses starting with "slow") are answered only after two seconds. Stops when its input closes or after the given seconds.

Options: --tls CERT KEY with --mode starttls (STARTTLS offered) or --mode tls (TLS from the
first byte); --auth USER:PASSWORD (a login is required), --mechanisms PLAIN,LOGIN (the login
methods offered); --busy PATTERN COUNT (recipients matching it get "451" for their first COUNT
tries); --limit COUNT SECONDS (a sender limit per time, as Postfix keeps one: once COUNT messages
were begun within the last SECONDS seconds, MAIL FROM gets "450 4.7.0 too much mail, try later";
those refusals are counted in the file "limited"); --size BYTES (the SIZE limit offered);
--oauth-tokens FILE (logins by XOAUTH2 and OAUTHBEARER only, taking the access tokens the file
lists; --mechanisms narrows them); --sink
(count, store nothing). Each connection
is counted in the file "connections" of the folder, and each stored message records its
connection, login and whether TLS carried it."""

import argparse
import asyncio
import base64
import email
import email.policy
import json
import logging
import os
import re
import ssl
import sys
import time
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class CountingSMTP(SMTP):
    """Numbers its connections; a STARTTLS upgrade keeps the number of its connection."""

    def __init__(self, handler, implicit_tls, **kwargs):
        super().__init__(handler, **kwargs)
        self.implicit_tls = implicit_tls
        self.number = 0

    def connection_made(self, transport):
        if self._original_transport is None:
            self.event_handler.connections += 1
            self.number = self.event_handler.connections
            self.event_handler.write_connections()
        super().connection_made(transport)


class StoringHandler:
    def __init__(self, folder, reject, slow, busy, busy_count, sink, delay=0.0, limit=None):
        self.bearer_logins = None
        self.folder = folder
        self.reject = re.compile(reject, re.IGNORECASE)
        self.slow = re.compile(slow, re.IGNORECASE)
        self.busy = re.compile(busy, re.IGNORECASE) if busy else None
        self.busy_count = busy_count
        self.busy_tries = {}
        self.sink = sink
        self.delay = delay
        self.count = 0
        self.connections = 0
        self.limit = limit  # (count, seconds) or None
        self.begun = []  # when the messages of the limit's window began
        self.limited = 0

    def write_count(self, name, value):
        path = os.path.join(self.folder, name)
        with open(path + ".tmp", "w", encoding="ascii") as out:
            out.write("%d\n" % value)
        os.rename(path + ".tmp", path)

    def write_connections(self):
        self.write_count("connections", self.connections)

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if self.limit:
            count, seconds = self.limit
            now = time.monotonic()
            self.begun = [t for t in self.begun if now - t < seconds]
            if len(self.begun) >= count:
                self.limited += 1
                self.write_count("limited", self.limited)
                return "450 4.7.0 too much mail, try later"
            self.begun.append(now)
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.slow.search(address):
            await asyncio.sleep(2)
        if self.delay:
            await asyncio.sleep(self.delay)
        if self.reject.search(address):
            return "550 5.1.1 Recipient refused"
        if self.busy and self.busy.search(address):
            tries = self.busy_tries.get(address, 0) + 1
            self.busy_tries[address] = tries
            if tries <= self.busy_count:
                return "451 4.7.1 Too busy, try %d; please come back later" % tries
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def auth_XOAUTH2(self, server, args):
        return await self.bearer_logins.login(server, args, bearer=False)

    async def auth_OAUTHBEARER(self, server, args):
        return await self.bearer_logins.login(server, args, bearer=True)

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        if self.sink:
            return "250 Message accepted"
        raw = envelope.original_content
        summary = {
            "connection": server.number,
            "auth_user": session.auth_data.login.decode("utf-8", "replace")
            if isinstance(session.auth_data, LoginPassword) else "",
            "tls": server.implicit_tls or session.ssl is not None,
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "mail_options": envelope.mail_options,
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
                "message_id": str(message["Message-ID"]) if message["Message-ID"] else "",
                "charset": message.get_content_charset() or "",
                "cc": str(message["Cc"]) if message["Cc"] is not None else "",
                "content_type": message.get_content_type(),
                "body": body_text(message),
                "html": html_text(message),
                "structure": [part.get_content_type() for part in message.walk()],
                "inline_parts": [{
                    "content_id": str(part["Content-ID"]),
                    "filename": part.get_filename(),
                    "content_type": part.get_content_type(),
                    "data": base64.b64encode(part.get_payload(decode=True)).decode("ascii"),
                } for part in message.walk() if part["Content-ID"] is not None],
                "attachments": [{
                    "filename": part.get_filename(),
                    "content_type": part.get_content_type(),
                    "data": base64.b64encode(part.get_payload(decode=True)).decode("ascii"),
                } for part in message.iter_attachments()],
                "defects": [type(d).__name__ for part in message.walk() for d in part.defects]
                + [type(d).__name__ for part in message.walk()
                   for name in part.keys() for d in part[name].defects],
            })
        except Exception as error:  # a message the parser refuses is reported, not lost
            summary["parse_error"] = repr(error)
        path = os.path.join(self.folder, "%04d.json" % self.count)
        with open(path + ".tmp", "w", encoding="utf-8") as out:
            json.dump(summary, out)
        os.rename(path + ".tmp", path)
        return "250 Message accepted"


class BearerLogins:
    """XOAUTH2 and OAUTHBEARER logins that take only an access token listed, one a line, in a
    file read anew for each login (an authorization server of the tests writes it). A token not
    listed gets the error challenge of Google and Microsoft, then 535."""

    def __init__(self, tokens_file):
        self.tokens_file = tokens_file

    def current_tokens(self):
        try:
            with open(self.tokens_file, encoding="utf-8") as tokens:
                return {line.strip() for line in tokens if line.strip()}
        except OSError:
            return set()

    async def login(self, server, args, bearer):
        if len(args) < 2:
            return AuthResult(success=False, handled=False)
        try:
            fields = base64.b64decode(args[1]).decode("utf-8").split("\x01")
        except ValueError:
            return AuthResult(success=False, handled=False)
        if bearer:  # "n,a=USER,", then host, port and auth
            head = fields[0].split(",")
            user = head[1][2:] if len(head) > 1 and head[1].startswith("a=") else ""
            user = user.replace("=2C", ",").replace("=3D", "=")
        else:
            user = fields[0][5:] if fields[0].startswith("user=") else ""
        token = next((f[12:] for f in fields if f.startswith("auth=Bearer ")), "")
        if token and token in self.current_tokens():
            return AuthResult(success=True, handled=False,
                              auth_data=LoginPassword(user.encode("utf-8"), b""))
        challenge = json.dumps({"status": "401", "schemes": "bearer",
                                "scope": "https://mail.google.com/"})
        await server.challenge_auth(base64.b64encode(challenge.encode()).decode(),
                                    encode_to_b64=False)
        return AuthResult(success=False, handled=False)


def html_text(message):
    """The HTML part of a message, or nothing."""
    part = message.get_body(preferencelist=("html",))
    return part.get_content() if part is not None else ""


def body_text(message):
    """The text of a message, or of the plain-text part of a multipart one."""
    if not message.is_multipart():
        return message.get_content()
    part = message.get_body(preferencelist=("plain",))
    return part.get_content() if part is not None else ""


class Authenticator:
    def __init__(self, user, password):
        self.user = user.encode("utf-8")
        self.password = password.encode("utf-8")

    def __call__(self, server, session, envelope, mechanism, auth_data):
        if not isinstance(auth_data, LoginPassword):
            return AuthResult(success=False, handled=False)
        ok = auth_data.login == self.user and auth_data.password == self.password
        return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)


async def main(args):
    handler = StoringHandler(args.folder, args.reject, args.slow, args.busy[0] if args.busy else None,
                             int(args.busy[1]) if args.busy else 0, args.sink, args.delay,
                             (int(args.limit[0]), float(args.limit[1])) if args.limit else None)
    handler.write_connections()
    handler.write_count("limited", 0)
    context = None
    if args.tls:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.tls[0], args.tls[1])
    implicit = args.mode == "tls"
    options = {"hostname": "test.invalid", "enable_SMTPUTF8": True}
    if args.size:
        options["data_size_limit"] = args.size
    if args.mode == "starttls":
        options["tls_context"] = context
        options["require_starttls"] = True
    oauth = ["XOAUTH2", "OAUTHBEARER"]
    options["auth_exclude_mechanism"] = oauth  # offered with --oauth-tokens only
    if args.oauth_tokens:
        handler.bearer_logins = BearerLogins(args.oauth_tokens)
        options["auth_required"] = True
        options["auth_require_tls"] = not implicit
        wanted = set(args.mechanisms.upper().split(",")) if args.mechanisms else set(oauth)
        options["auth_exclude_mechanism"] = sorted({"PLAIN", "LOGIN"} | (set(oauth) - wanted))
    if args.auth:
        user, _, password = args.auth.partition(":")
        options["authenticator"] = Authenticator(user, password)
        options["auth_required"] = True
        # Over implicit TLS the whole connection is encrypted; aiosmtpd only knows STARTTLS.
        options["auth_require_tls"] = not implicit
        offered = {"PLAIN", "LOGIN"}
        wanted = set(args.mechanisms.upper().split(",")) if args.mechanisms else offered
        options["auth_exclude_mechanism"] = sorted((offered - wanted) | set(oauth))
    loop = asyncio.get_running_loop()
    server = await loop.create_server(
        lambda: CountingSMTP(handler, implicit, **options),
        host="127.0.0.1", port=0, ssl=context if implicit else None)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    try:
        await asyncio.wait_for(sys_stdin_closed(loop), timeout=args.lifetime)
    except asyncio.TimeoutError:
        pass
    server.close()
    if args.sink:
        print("MESSAGES %d" % handler.count, flush=True)


async def sys_stdin_closed(loop):
    """Returns when the test closes our standard input (or ends)."""
    reader = asyncio.StreamReader()
    await loop.connect_read_pipe(lambda: asyncio.StreamReaderProtocol(reader), sys.stdin)
    await reader.read()


if __name__ == "__main__":
    # Refused handshakes and the login over implicit TLS are what the tests want; not noise.
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    warnings.filterwarnings("ignore", module="aiosmtpd")
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("lifetime", nargs="?", type=float, default=120.0)
    parser.add_argument("reject", nargs="?", default="^reject")
    parser.add_argument("slow", nargs="?", default="^slow")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--mode", choices=["plain", "starttls", "tls"], default="plain")
    parser.add_argument("--auth")
    parser.add_argument("--mechanisms")
    parser.add_argument("--busy", nargs=2, metavar=("PATTERN", "COUNT"))
    parser.add_argument("--limit", nargs=2, metavar=("COUNT", "SECONDS"))
    parser.add_argument("--sink", action="store_true")
    parser.add_argument("--delay", type=float, default=0.0)
    parser.add_argument("--size", type=int, default=0)
    parser.add_argument("--oauth-tokens")
    asyncio.run(main(parser.parse_args()))
