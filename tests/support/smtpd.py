#!/usr/bin/python3
"""A real SMTP server on loopback for the mail tests and benchmarks (Debian's aiosmtpd).

Listens on 127.0.0.1 on a free port and prints "listening 127.0.0.1 PORT" once ready.
Modes: plain, starttls (STARTTLS required before anything else) and tls (TLS from the
first byte). With --user, AUTH PLAIN and LOGIN check that user and password; without it
no AUTH is offered. Each accepted message is written to --store as one JSON file:
{"mail_from": ..., "rcpt_tos": [...], "data": base64 of the bytes received}.
Run with /usr/bin/python3: another Python installation does not see Debian's aiosmtpd.
"""

import argparse
import asyncio
import base64
import email
import email.header
import email.policy
import json
import os
import signal
import ssl
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Handler:
    def __init__(self, args):
        self.args = args
        self.count = 0

    async def handle_MAIL(self, server, session, envelope, address, mail_options):
        if self.args.refuse_mail and address == self.args.refuse_mail:
            return "553 5.1.8 Sender address rejected: domain not found"
        envelope.mail_from = address
        envelope.mail_options.extend(mail_options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.args.refuse_rcpt and address == self.args.refuse_rcpt:
            return "550 5.1.1 Recipient address rejected: user unknown"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        data = envelope.original_content or envelope.content
        if self.args.refuse_subject:
            message = email.message_from_bytes(data, policy=email.policy.default)
            if str(message.get("Subject", "")) == self.args.refuse_subject:
                return "554 5.7.1 Message rejected by content policy"
        if self.args.store:
            self.count += 1
            name = os.path.join(self.args.store, "%06d.json" % self.count)
            record = {"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos,
                      "data": base64.b64encode(data).decode("ascii")}
            with open(name + ".tmp", "w") as f:
                json.dump(record, f)
            os.rename(name + ".tmp", name)  # readers never see half a file
        return "250 2.0.0 Message accepted for delivery"


class DroppingSMTP(SMTP):
    """Answers DATA with 354, reads one line of the message and hangs up."""

    async def smtp_DATA(self, arg):
        await self.push("354 End data with <CR><LF>.<CR><LF>")
        await self._reader.readline()
        self.transport.close()


def make_authenticator(user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login == user.encode() and auth_data.password == password.encode())
        return AuthResult(success=ok, handled=False)  # aiosmtpd then answers 535 5.7.8
    return authenticate


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", choices=["plain", "starttls", "tls"], default="plain")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--user")
    parser.add_argument("--password", default="")
    parser.add_argument("--store")
    parser.add_argument("--refuse-mail")
    parser.add_argument("--refuse-rcpt")
    parser.add_argument("--refuse-subject")
    parser.add_argument("--drop-in-data", action="store_true")
    args = parser.parse_args()
    warnings.simplefilter("ignore")  # aiosmtpd's own deprecation notices

    context = None
    if args.mode != "plain":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    handler = Handler(args)
    kwargs = {"hostname": "kpr-test-smtp", "ident": "kpr test SMTP"}
    if args.user:
        kwargs["authenticator"] = make_authenticator(args.user, args.password)
    else:
        # No AUTH in EHLO at all.
        kwargs["auth_exclude_mechanism"] = ["PLAIN", "LOGIN"]
    if args.mode == "starttls":
        kwargs.update(tls_context=context, require_starttls=True)
    else:
        # Plain: AUTH in the clear is what the tests ask for. Implicit TLS: aiosmtpd
        # cannot see that the transport is already encrypted.
        kwargs["auth_require_tls"] = False
    factory = DroppingSMTP if args.drop_in_data else SMTP

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(
        lambda: factory(handler, loop=loop, **kwargs), host="127.0.0.1", port=0,
        ssl=context if args.mode == "tls" else None))
    port = server.sockets[0].getsockname()[1]
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    loop.add_signal_handler(signal.SIGINT, loop.stop)
    print("listening 127.0.0.1 %d" % port, flush=True)
    loop.run_forever()
    server.close()


if __name__ == "__main__":
    sys.exit(main())
