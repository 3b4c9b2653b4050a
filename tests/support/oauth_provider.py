#!/usr/bin/env python3
"""A small OAuth 2.0 authorization server for the tests, on loopback only.

It plays a provider for the whole desktop sign-in: the authorization end point
answers at once with a redirect (no login page: the test's browser follows
it), the token end point checks PKCE (S256) and the redirect address, renews
with refresh tokens and answers the device grant; the introspection end point
tells Dovecot's oauth2 passdb whether an access token is good and whose it is.
Prints "PORT <n>" once it listens. Knobs are command-line options.
"""
import argparse
import base64
import hashlib
import json
import secrets
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MAX_BODY = 64 * 1024
VERIFIER_CHARS = set("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~")


def parse_args():
    p = argparse.ArgumentParser()
    p.add_argument("--client-id", default="quorvel-test")
    p.add_argument("--user", default="joe", help="whose tokens are issued")
    p.add_argument("--access-lifetime", type=int, default=3600, help="seconds; 0 issues expired tokens")
    p.add_argument("--refuse-refresh", action="store_true", help="every refresh gets invalid_grant")
    p.add_argument("--rotate-refresh", action="store_true", help="a refresh sends a new refresh token")
    p.add_argument("--wrong-state", action="store_true", help="redirect with a state that was not asked for")
    p.add_argument("--deny", action="store_true", help="the user declines at the authorization page")
    p.add_argument("--device-script", default="ok",
                   help="comma-separated answers to successive device polls: pending, slow_down, denied, expired, ok")
    p.add_argument("--device-interval", type=int, default=1)
    p.add_argument("--device-expires", type=int, default=600)
    p.add_argument("--second", type=float, default=1.0, help="how long one second of the device grant lasts")
    p.add_argument("--stall", type=float, default=0, help="seconds the token end point waits before answering")
    p.add_argument("--token-answer-size", type=int, default=0, help="pad a token answer to exactly so many bytes")
    p.add_argument("--metadata", choices=["device", "none", "no-device", "other-issuer"], default="device",
                   help="what /.well-known/oauth-authorization-server says (RFC 8414)")
    p.add_argument("--token-type", default="Bearer", help="the token_type sent; empty: none")
    p.add_argument("--token-redirect", type=int, default=0, help="the token end point redirects with this status")
    return p.parse_args()


ARGS = parse_args()
LOCK = threading.Lock()
CODES = {}     # code -> (challenge, redirect_uri)
ACCESS = {}    # access token -> expiry (epoch seconds)
REFRESH = set()
DEVICES = {}   # device code -> {"polls": n, "last": time, "interval": s}
REPORT = {"token_requests": 0, "redirected_requests": 0, "code_exchanges": 0, "refreshes": 0, "device_polls": 0, "too_fast": 0,
          "introspections": 0, "errors": []}


def s256(verifier):
    return base64.urlsafe_b64encode(hashlib.sha256(verifier.encode()).digest()).rstrip(b"=").decode()


def issue(with_refresh=True):
    access = secrets.token_urlsafe(32)
    answer = {"access_token": access, "token_type": ARGS.token_type, "expires_in": ARGS.access_lifetime,
              "scope": "pop"}
    if not ARGS.token_type:
        del answer["token_type"]
    ACCESS[access] = time.time() + ARGS.access_lifetime
    if with_refresh:
        refresh = secrets.token_urlsafe(32)
        REFRESH.add(refresh)
        answer["refresh_token"] = refresh
    return answer


def is_loopback_redirect(uri):
    parts = urllib.parse.urlsplit(uri)
    return parts.scheme == "http" and parts.hostname == "127.0.0.1" and parts.port is not None


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send(self, status, body, content_type="application/json", headers=()):
        data = body if isinstance(body, bytes) else json.dumps(body).encode()
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-store")
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def error(self, status, error, description):
        self.send(status, {"error": error, "error_description": description})

    def form(self):
        length = int(self.headers.get("Content-Length", "0"))
        if length > MAX_BODY:
            raise ValueError("body too long")
        if self.headers.get("Content-Type", "").split(";")[0].strip() != "application/x-www-form-urlencoded":
            REPORT["errors"].append("not a form: " + self.headers.get("Content-Type", ""))
        fields = urllib.parse.parse_qs(self.rfile.read(length).decode(), keep_blank_values=True)
        # A field given twice is a malformed request (RFC 6749, 3.1).
        return {k: v[0] for k, v in fields.items() if len(v) == 1}

    def do_GET(self):
        parts = urllib.parse.urlsplit(self.path)
        query = {k: v[0] for k, v in urllib.parse.parse_qs(parts.query).items()}
        with LOCK:
            if parts.path == "/authorize":
                return self.authorize(query)
            if parts.path == "/test/report":
                return self.send(200, REPORT)
            if parts.path == "/.well-known/oauth-authorization-server" and ARGS.metadata != "none":
                host, port = self.server.server_address[:2]
                base = "http://%s:%d" % (host, port)
                metadata = {"issuer": "https://elsewhere.test" if ARGS.metadata == "other-issuer" else base,
                            "authorization_endpoint": base + "/authorize", "token_endpoint": base + "/token",
                            "grant_types_supported": ["authorization_code", "refresh_token"]}
                if ARGS.metadata != "no-device":
                    metadata["device_authorization_endpoint"] = base + "/devicecode"
                    metadata["grant_types_supported"].append("urn:ietf:params:oauth:grant-type:device_code")
                return self.send(200, metadata)
        self.send(404, b"not here\n", "text/plain")

    def authorize(self, q):
        redirect = q.get("redirect_uri", "")
        if q.get("client_id") != ARGS.client_id or not is_loopback_redirect(redirect):
            return self.send(400, b"unknown client or redirect address\n", "text/plain")
        state = q.get("state", "")
        back = {"state": state + "x" if ARGS.wrong_state else state}
        problem = None
        if q.get("response_type") != "code":
            problem = ("unsupported_response_type", "only code")
        elif q.get("code_challenge_method") != "S256" or len(q.get("code_challenge", "")) != 43:
            problem = ("invalid_request", "PKCE with S256 is required")
        elif ARGS.deny:
            problem = ("access_denied", "The user declined the request")
        if problem:
            back.update({"error": problem[0], "error_description": problem[1]})
        else:
            code = secrets.token_urlsafe(24)
            CODES[code] = (q["code_challenge"], redirect)
            back["code"] = code
        location = redirect + ("&" if "?" in redirect else "?") + urllib.parse.urlencode(back)
        self.send(302, b"", "text/plain", [("Location", location)])

    def do_POST(self):
        try:
            fields = self.form()
        except ValueError:
            return self.send(413, b"too long\n", "text/plain")
        path = urllib.parse.urlsplit(self.path).path
        if path == "/token" and ARGS.stall:
            time.sleep(ARGS.stall)
        with LOCK:
            if path == "/token" and ARGS.token_redirect:
                REPORT["token_requests"] += 1
                return self.send(ARGS.token_redirect, b"", "text/plain", [("Location", "/elsewhere/token")])
            if path == "/elsewhere/token":
                REPORT["redirected_requests"] += 1
                return self.token(fields)
            if path == "/token":
                REPORT["token_requests"] += 1
                return self.token(fields)
            if path == "/devicecode":
                return self.devicecode(fields)
            if path == "/introspect":
                REPORT["introspections"] += 1
                expiry = ACCESS.get(fields.get("token", ""))
                if expiry is None or expiry <= time.time():
                    return self.send(200, {"active": False})
                return self.send(200, {"active": True, "username": ARGS.user, "exp": int(expiry)})
        self.send(404, b"not here\n", "text/plain")

    def answer_tokens(self, answer):
        if ARGS.token_answer_size:
            data = json.dumps(answer)
            # '"padding": ""' with its comma adds 15 bytes before any padding.
            pad = ARGS.token_answer_size - len(data) - len(', "padding": ""')
            answer["padding"] = "p" * max(pad, 0)
        self.send(200, answer)

    def token(self, f):
        if f.get("client_id") != ARGS.client_id:
            return self.error(401, "invalid_client", "Unknown client")
        grant = f.get("grant_type")
        if grant == "authorization_code":
            REPORT["code_exchanges"] += 1
            entry = CODES.pop(f.get("code", ""), None)
            if entry is None:
                return self.error(400, "invalid_grant", "The code is unknown or was used")
            challenge, redirect = entry
            verifier = f.get("code_verifier", "")
            if f.get("redirect_uri") != redirect:
                return self.error(400, "invalid_grant", "The redirect address differs")
            if not (43 <= len(verifier) <= 128 and set(verifier) <= VERIFIER_CHARS) or s256(verifier) != challenge:
                return self.error(400, "invalid_grant", "PKCE verification failed")
            return self.answer_tokens(issue())
        if grant == "refresh_token":
            REPORT["refreshes"] += 1
            token = f.get("refresh_token", "")
            if ARGS.refuse_refresh or token not in REFRESH:
                return self.error(400, "invalid_grant", "The refresh token has been revoked")
            if ARGS.rotate_refresh:
                REFRESH.discard(token)
            return self.answer_tokens(issue(with_refresh=ARGS.rotate_refresh))
        if grant == "urn:ietf:params:oauth:grant-type:device_code":
            return self.device_poll(f)
        return self.error(400, "unsupported_grant_type", "Unknown grant")

    def devicecode(self, f):
        if f.get("client_id") != ARGS.client_id:
            return self.error(401, "invalid_client", "Unknown client")
        code = secrets.token_urlsafe(24)
        DEVICES[code] = {"polls": 0, "last": time.monotonic(), "interval": ARGS.device_interval}
        host, port = self.server.server_address[:2]
        self.send(200, {"device_code": code, "user_code": "WDJB-MJHT",
                        "verification_uri": "http://%s:%d/device" % (host, port),
                        "expires_in": ARGS.device_expires, "interval": ARGS.device_interval})

    def device_poll(self, f):
        device = DEVICES.get(f.get("device_code", ""))
        if device is None:
            return self.error(400, "invalid_grant", "Unknown device code")
        REPORT["device_polls"] += 1
        now = time.monotonic()
        if now - device["last"] < device["interval"] * ARGS.second * 0.9:
            REPORT["too_fast"] += 1
        device["last"] = now
        script = ARGS.device_script.split(",")
        step = script[min(device["polls"], len(script) - 1)]
        device["polls"] += 1
        if step == "pending":
            return self.error(400, "authorization_pending", "Waiting for the user")
        if step == "slow_down":
            device["interval"] += 5
            return self.error(400, "slow_down", "Polling too often")
        if step == "denied":
            return self.error(400, "access_denied", "The user declined")
        if step == "expired":
            return self.error(400, "expired_token", "The device code expired")
        DEVICES.pop(f.get("device_code"))
        return self.answer_tokens(issue())


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    print("PORT %d" % server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
