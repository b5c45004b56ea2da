#!/usr/bin/python3
"""The reference for bench_mail: Python's smtplib sends the same messages the same way
(each on its own connection, STARTTLS, AUTH, a MIME message built with the email package
with the same texts and attachment). Prints "smtplib: N messages in S s".
With --nodelay the socket gets TCP_NODELAY, as libcurl's do: smtplib's default writes
meet delayed acknowledgements and wait about 40 ms a message on loopback."""

import argparse
import os
import smtplib
import socket
import ssl
import sys
import time
from email.message import EmailMessage
from email.policy import SMTP


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--ca", required=True)
    p.add_argument("--user", required=True)
    p.add_argument("--password", required=True)
    p.add_argument("--attachment", required=True)
    p.add_argument("--count", type=int, default=1000)
    p.add_argument("--nodelay", action="store_true")
    a = p.parse_args()

    context = ssl.create_default_context(cafile=a.ca)
    name = os.path.basename(a.attachment)
    start = time.perf_counter()
    for i in range(a.count):
        with open(a.attachment, "rb") as f:
            data = f.read()
        m = EmailMessage()
        m["From"] = "Cozinha Industrial São João <filial@kpr.com.br>"
        m["Subject"] = "Relatório de refeições – março, cliente %d" % i
        m.set_content("Prezado cliente,\nsegue o relatório de refeições do período.\n")
        m.add_attachment(data, maintype="application", subtype="pdf", filename=name)
        with smtplib.SMTP("127.0.0.1", a.port, local_hostname="bench") as s:
            if a.nodelay:
                s.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            s.starttls(context=context)
            s.login(a.user, a.password)
            s.sendmail("filial@kpr.com.br", ["cliente%d@x.com.br" % i], m.as_bytes(policy=SMTP))
    elapsed = time.perf_counter() - start
    print("smtplib: %d messages in %.3f s" % (a.count, elapsed), flush=True)


if __name__ == "__main__":
    sys.exit(main())
