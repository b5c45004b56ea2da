#!/usr/bin/python3
"""The demo's local SMTP server: every message it receives is kept, none is delivered.

    /usr/bin/python3 scripts/demo-smtpd.py --dir build/dev/demo-mail [--port 2525]

Plain SMTP on 127.0.0.1 (no TLS). Authentication is not required; a client that logs in
anyway (AUTH PLAIN or LOGIN) is accepted with any login and password. Each message is
written as it arrived, headers and body, to DIR/<time>-<counter>-<first recipient>.eml and
announced with one line on stderr.

Reading the messages: an .eml file is a plain RFC 5322 message. Open it with a mail program
(Thunderbird, Evolution: File > Open), or look inside from a shell:
    less build/dev/demo-mail/*.eml                      # raw headers and MIME parts
    /usr/bin/python3 -c 'import email, email.policy, sys
m = email.message_from_binary_file(open(sys.argv[1], "rb"), policy=email.policy.default)
print(m["From"], "->", m["To"], "|", m["Subject"])
for p in m.iter_attachments(): print("  anexo:", p.get_filename())' FILE.eml

Run with /usr/bin/python3: another Python installation does not see Debian's aiosmtpd.
"""

import argparse
import asyncio
import logging
import os
import re
import signal
import sys
import time
import warnings

from aiosmtpd.smtp import SMTP, AuthResult


class Keeper:
    def __init__(self, directory):
        self.directory = directory
        self.count = 0

    def file_name(self, recipient):
        self.count += 1
        who = re.sub(r"[^A-Za-z0-9@._+-]", "_", recipient or "sem-destinatario")[:80]
        stamp = time.strftime("%Y%m%d-%H%M%S")
        return os.path.join(self.directory, "%s-%04d-%s.eml" % (stamp, self.count, who))

    async def handle_DATA(self, server, session, envelope):
        data = envelope.original_content or envelope.content
        if isinstance(data, str):
            data = data.encode("utf-8")
        first = envelope.rcpt_tos[0] if envelope.rcpt_tos else ""
        name = self.file_name(first)
        with open(name + ".tmp", "wb") as f:
            f.write(data)
        os.rename(name + ".tmp", name)  # a reader never sees half a message
        print("demo-smtpd: mensagem de %s para %s guardada em %s"
              % (envelope.mail_from, ", ".join(envelope.rcpt_tos), name), file=sys.stderr, flush=True)
        return "250 2.0.0 Mensagem guardada"


def accept_anyone(server, session, envelope, mechanism, auth_data):
    return AuthResult(success=True)


def main():
    parser = argparse.ArgumentParser(description="SMTP local da demonstração")
    parser.add_argument("--dir", required=True, help="pasta onde as mensagens são guardadas")
    parser.add_argument("--port", type=int, default=2525)
    args = parser.parse_args()
    warnings.simplefilter("ignore")  # aiosmtpd's own deprecation notices
    logging.getLogger("mail.log").setLevel(logging.ERROR)  # and the ones it logs on each AUTH
    os.makedirs(args.dir, exist_ok=True)

    handler = Keeper(args.dir)
    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    try:
        server = loop.run_until_complete(loop.create_server(
            lambda: SMTP(handler, loop=loop, hostname="kpr-demo-smtp", ident="kpr demo SMTP",
                         authenticator=accept_anyone, auth_required=False, auth_require_tls=False),
            host="127.0.0.1", port=args.port))
    except OSError as e:
        print("demo-smtpd: não foi possível escutar em 127.0.0.1:%d: %s" % (args.port, e.strerror),
              file=sys.stderr)
        return 1
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, loop.stop)
    print("demo-smtpd: escutando em 127.0.0.1:%d; mensagens em %s" % (args.port, args.dir),
          file=sys.stderr, flush=True)
    loop.run_forever()
    server.close()
    loop.run_until_complete(server.wait_closed())
    return 0


if __name__ == "__main__":
    sys.exit(main())
