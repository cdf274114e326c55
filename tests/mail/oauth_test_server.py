#!/usr/bin/python3
"""An OAuth 2.0 authorization server for the tests, standard library only: listens on 127.0.0.1
with a port the system picks, prints "PORT <n>", and stops when its input closes or after the
given seconds (120 by default).

Usage: oauth_test_server.py FOLDER [LIFETIME] [--client-id ID] [--client-secret SECRET]
       [--access-lifetime SECONDS] [--device-interval SECONDS]

It keeps FOLDER/tokens listing the access tokens valid now, one a line (the SMTP test server's
--oauth-tokens reads it for XOAUTH2 and OAUTHBEARER logins), and FOLDER/requests.json listing
every request: method, path, the names of its parameters (never their values) and its grant_type.
The client id is "mergix-test" by default; with --client-secret, /token and /devicecode also want
that client_secret. Access tokens live 3600 s by default, device codes 600 s, login codes 60 s.

Endpoints: GET /authorize (code flow with S256 PKCE and a loopback redirect_uri only; answers 302
to redirect_uri with code and state), POST /token (grant types authorization_code, refresh_token
and urn:ietf:params:oauth:grant-type:device_code), POST /devicecode; the paths of Microsoft's and Google's endpoints lead to
the same. For the tests to play the user and the provider, POST with form or query parameters: /approve and /deny (user_code), /revoke
(refresh_token, or all=1: also drops their access tokens), /expire (every access token, now)."""

import argparse
import base64
import hashlib
import json
import os
import re
import secrets
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qsl, urlencode, urlsplit

CODE_LIFETIME = 60
DEVICE_LIFETIME = 600
DEVICE_GRANT = "urn:ietf:params:oauth:grant-type:device_code"
FORM = "application/x-www-form-urlencoded"
CHALLENGE = re.compile(r"[A-Za-z0-9_-]{43}")  # an unpadded base64url SHA-256
VERIFIER = re.compile(r"[A-Za-z0-9._~-]{43,128}")
USER_CODE_LETTERS = "BCDFGHJKLMNPQRSTVWXZ"  # no vowels, so no words, and no 0/O or 1/I mix-ups


class OAuthError(Exception):
    def __init__(self, error, description):
        super().__init__(description)
        self.error = error
        self.description = description


def challenge_of(verifier):
    digest = hashlib.sha256(verifier.encode("ascii")).digest()
    return base64.urlsafe_b64encode(digest).rstrip(b"=").decode("ascii")


def write_atomically(path, text):
    """The SMTP server and the tests read these files at any moment; never let them see half."""
    with open(path + ".tmp", "w", encoding="utf-8") as out:
        out.write(text)
    os.replace(path + ".tmp", path)


# The paths of the real providers, so that the presets can be tried against this server with only
# their scheme, host and port replaced.
PROVIDER_PATHS = [
    (re.compile(r"/[^/]+/oauth2/v2\.0/authorize"), "/authorize"),  # Microsoft, any tenant
    (re.compile(r"/[^/]+/oauth2/v2\.0/token"), "/token"),
    (re.compile(r"/[^/]+/oauth2/v2\.0/devicecode"), "/devicecode"),
    (re.compile(r"/o/oauth2/v2/auth"), "/authorize"),  # Google
    (re.compile(r"/device/code"), "/devicecode"),
]


def endpoint_of(path):
    for pattern, endpoint in PROVIDER_PATHS:
        if pattern.fullmatch(path):
            return endpoint
    return path


def needed(params, *names):
    for name in names:
        if not params.get(name):
            raise OAuthError("invalid_request", "The parameter %s is missing." % name)


class Provider:
    """All the server remembers; the handler threads share it, so it is used under its lock."""

    def __init__(self, folder, client_id, client_secret, access_lifetime, interval):
        self.folder = folder
        self.client_id = client_id
        self.client_secret = client_secret
        self.access_lifetime = access_lifetime
        self.interval = interval
        self.port = 0
        self.lock = threading.Lock()
        self.codes = {}    # code -> what it was given for
        self.refresh = {}  # refresh token -> (client id, scope)
        self.access = {}   # access token -> (its refresh token, when it expires)
        self.devices = {}  # device code -> its user code, state and last poll
        self.requests = []
        self.written = None
        with self.lock:
            self.sweep()

    def sweep(self):
        """Drops expired access tokens and rewrites the tokens file if its list changed."""
        now = time.monotonic()
        self.access = {token: v for token, v in self.access.items() if v[1] > now}
        tokens = list(self.access)
        if tokens != self.written:
            write_atomically(os.path.join(self.folder, "tokens"), "".join(t + "\n" for t in tokens))
            self.written = tokens

    def record(self, method, path, names, grant_type):
        with self.lock:
            self.requests.append({"method": method, "path": path, "parameters": names,
                                  "grant_type": grant_type})
            write_atomically(os.path.join(self.folder, "requests.json"),
                             json.dumps(self.requests, indent=1))

    def check_client(self, params):
        if params.get("client_id") != self.client_id:
            raise OAuthError("invalid_client", "Unknown client.")
        if self.client_secret is not None and not secrets.compare_digest(
                params.get("client_secret", "").encode(), self.client_secret.encode()):
            raise OAuthError("invalid_client", "The client secret does not match.")

    def authorize(self, params):
        """Returns where to send the browser; ValueError says what is wrong with the request."""
        if params.get("client_id") != self.client_id:
            raise ValueError("unknown client_id")
        if params.get("response_type") != "code":
            raise ValueError("response_type must be code")
        if params.get("code_challenge_method") != "S256":
            raise ValueError("code_challenge_method must be S256")
        if not CHALLENGE.fullmatch(params.get("code_challenge", "")):
            raise ValueError("code_challenge must be 43 base64url characters")
        if not params.get("state"):
            raise ValueError("state is missing")
        redirect = params.get("redirect_uri", "")
        if not redirect.startswith("http://127.0.0.1:"):
            raise ValueError("redirect_uri must be http://127.0.0.1:PORT")
        code = secrets.token_urlsafe(24)
        with self.lock:
            self.codes[code] = {"client_id": params["client_id"], "redirect_uri": redirect,
                                "challenge": params["code_challenge"],
                                "scope": params.get("scope", ""),
                                "until": time.monotonic() + CODE_LIFETIME}
        separator = "&" if "?" in redirect else "?"
        return redirect + separator + urlencode({"code": code, "state": params["state"]})

    def token(self, params):
        needed(params, "grant_type")
        self.check_client(params)
        grant = params["grant_type"]
        with self.lock:
            if grant == "authorization_code":
                return self.code_grant(params)
            if grant == "refresh_token":
                return self.refresh_grant(params)
            if grant == DEVICE_GRANT:
                return self.device_grant(params)
        raise OAuthError("unsupported_grant_type", "Unknown grant_type.")

    def new_tokens(self, client_id, scope, refresh=None):
        if refresh is None:
            refresh = secrets.token_urlsafe(32)
            self.refresh[refresh] = (client_id, scope)
        access = secrets.token_urlsafe(32)
        self.access[access] = (refresh, time.monotonic() + self.access_lifetime)
        self.sweep()
        return {"access_token": access, "token_type": "Bearer", "expires_in": self.access_lifetime,
                "refresh_token": refresh, "scope": scope}

    def code_grant(self, params):
        needed(params, "code", "redirect_uri", "code_verifier")
        entry = self.codes.get(params["code"])
        if (entry is None or entry["until"] < time.monotonic()
                or entry["client_id"] != params["client_id"]):
            raise OAuthError("invalid_grant", "The code is unknown, used or expired.")
        if entry["redirect_uri"] != params["redirect_uri"]:
            raise OAuthError("invalid_grant", "The redirect_uri differs from the authorization's.")
        verifier = params["code_verifier"]
        if not VERIFIER.fullmatch(verifier) or challenge_of(verifier) != entry["challenge"]:
            raise OAuthError("invalid_grant", "The code verifier does not match the challenge.")
        # Used up only by a success, so a test may try a wrong verifier first with the same code.
        del self.codes[params["code"]]
        return self.new_tokens(entry["client_id"], entry["scope"])

    def refresh_grant(self, params):
        needed(params, "refresh_token")
        entry = self.refresh.get(params["refresh_token"])
        if entry is None or entry[0] != params["client_id"]:
            raise OAuthError("invalid_grant", "The refresh token was revoked.")
        return self.new_tokens(entry[0], entry[1], params["refresh_token"])

    def device_grant(self, params):
        needed(params, "device_code")
        device = self.devices.get(params["device_code"])
        if device is None or device["client_id"] != params["client_id"]:
            raise OAuthError("invalid_grant", "Unknown device code.")
        now = time.monotonic()
        if now > device["until"]:
            raise OAuthError("expired_token", "The device code has expired.")
        # Timed between polls only: the first poll may come at once.
        last, device["last_poll"] = device["last_poll"], now
        if last is not None and now - last < self.interval:
            raise OAuthError("slow_down", "Polled faster than the interval.")
        if device["state"] == "denied":
            raise OAuthError("access_denied", "The user denied the request.")
        if device["state"] == "pending":
            raise OAuthError("authorization_pending", "The user has not answered yet.")
        del self.devices[params["device_code"]]
        return self.new_tokens(device["client_id"], device["scope"])

    def devicecode(self, params):
        self.check_client(params)
        with self.lock:
            taken = {d["user_code"] for d in self.devices.values()}
            user_code = None
            while user_code is None or user_code in taken:
                letters = "".join(secrets.choice(USER_CODE_LETTERS) for _ in range(8))
                user_code = letters[:4] + "-" + letters[4:]
            device_code = secrets.token_urlsafe(32)
            self.devices[device_code] = {"user_code": user_code, "client_id": params["client_id"],
                                         "scope": params.get("scope", ""), "state": "pending",
                                         "until": time.monotonic() + DEVICE_LIFETIME,
                                         "last_poll": None}
        return {"device_code": device_code, "user_code": user_code,
                "verification_uri": "http://127.0.0.1:%d/device" % self.port,
                "expires_in": DEVICE_LIFETIME, "interval": self.interval}

    def answer_device(self, params, state):
        needed(params, "user_code")
        wanted = params["user_code"].upper().replace("-", "")
        with self.lock:
            for device in self.devices.values():
                if (device["user_code"].replace("-", "") == wanted and device["state"] == "pending"
                        and device["until"] > time.monotonic()):
                    device["state"] = state
                    return {"user_code": device["user_code"], "state": state}
        raise OAuthError("invalid_request", "No pending device code has this user code.")

    def revoke(self, params):
        with self.lock:
            if params.get("all") == "1":
                revoked = set(self.refresh)
            else:
                needed(params, "refresh_token")
                if params["refresh_token"] not in self.refresh:
                    raise OAuthError("invalid_request", "Unknown refresh token.")
                revoked = {params["refresh_token"]}
            for token in revoked:
                del self.refresh[token]
            self.access = {t: v for t, v in self.access.items() if v[0] not in revoked}
            self.sweep()
        return {"revoked": len(revoked)}

    def expire(self, params):
        with self.lock:
            count = len(self.access)
            self.access.clear()
            self.sweep()
        return {"expired": count}


class Handler(BaseHTTPRequestHandler):
    def log_message(self, format, *args):
        pass  # the tests' output stays readable, and no token ever reaches it

    def send(self, status, text, content_type="application/json", headers=()):
        data = text.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-store")
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def answer(self):
        provider = self.server.provider
        url = urlsplit(self.path)
        url = url._replace(path=endpoint_of(url.path))
        query = parse_qsl(url.query, keep_blank_values=True)
        form = []
        if self.command == "POST":
            body = self.rfile.read(int(self.headers.get("Content-Length") or 0))
            kind = self.headers.get("Content-Type", "").split(";")[0].strip().lower()
            if kind == FORM:
                form = parse_qsl(body.decode("utf-8", "replace"), keep_blank_values=True)
        names = [name for name, _ in query + form]
        # The client's own requests must carry a form body; the test's controls may use either.
        pairs = form if url.path in ("/token", "/devicecode") else query + form
        params = dict(pairs)
        provider.record(self.command, url.path, names, params.get("grant_type"))
        repeated = sorted({name for name, _ in pairs if [n for n, _ in pairs].count(name) > 1})
        if (self.command, url.path) == ("GET", "/authorize"):
            try:
                if repeated:
                    raise ValueError("repeated parameter " + repeated[0])
                location = provider.authorize(params)
            except ValueError as error:
                self.send(400, str(error) + "\n", "text/plain; charset=utf-8")
                return
            self.send(302, "", "text/plain; charset=utf-8", [("Location", location)])
            return
        actions = {"/token": provider.token, "/devicecode": provider.devicecode,
                   "/approve": lambda p: provider.answer_device(p, "approved"),
                   "/deny": lambda p: provider.answer_device(p, "denied"),
                   "/revoke": provider.revoke, "/expire": provider.expire}
        try:
            if self.command != "POST" or url.path not in actions:
                raise OAuthError("invalid_request",
                                 "No such endpoint: %s %s." % (self.command, url.path))
            if url.path in ("/token", "/devicecode") and not form:
                raise OAuthError("invalid_request", "Send the parameters as a form body.")
            if repeated:
                raise OAuthError("invalid_request", "The parameter %s is repeated." % repeated[0])
            result = actions[url.path](params)
        except OAuthError as error:
            self.send(400, json.dumps({"error": error.error,
                                       "error_description": error.description}))
            return
        self.send(200, json.dumps(result), headers=[("Pragma", "no-cache")])

    do_GET = do_POST = answer


def main(args):
    os.makedirs(args.folder, exist_ok=True)
    provider = Provider(args.folder, args.client_id, args.client_secret, args.access_lifetime,
                        args.device_interval)
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.provider = provider
    provider.port = server.server_address[1]
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print("PORT %d" % provider.port, flush=True)
    closed = threading.Event()

    def wait_for_input_end():  # the test closes our standard input (or ends) to stop us
        # Raw reads: a buffered read still blocked at exit aborts the interpreter.
        while os.read(sys.stdin.fileno(), 4096):
            pass
        closed.set()

    threading.Thread(target=wait_for_input_end, daemon=True).start()
    deadline = time.monotonic() + args.lifetime
    # Expired tokens must leave the tokens file on time, not only when a request comes.
    while not closed.wait(0.2) and time.monotonic() < deadline:
        with provider.lock:
            provider.sweep()
    server.shutdown()
    server.server_close()


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("lifetime", nargs="?", type=float, default=120.0)
    parser.add_argument("--client-id", default="mergix-test")
    parser.add_argument("--client-secret")
    parser.add_argument("--access-lifetime", type=int, default=3600)
    parser.add_argument("--device-interval", type=int, default=1)
    main(parser.parse_args())
