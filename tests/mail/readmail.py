#!/usr/bin/python3
"""Decodes a message file with Python's email package, independently of GMime, and prints
what a mail reader would show as JSON: the From and Subject headers decoded, the names of
the headers present, the text of the text/plain parts and each attachment's name, type and
bytes (base64)."""

import base64
import email
import email.policy
import json
import sys

with open(sys.argv[1], "rb") as f:
    message = email.message_from_binary_file(f, policy=email.policy.default)

texts, attachments = [], []
for part in message.walk():
    if part.is_multipart():
        continue
    if part.get_content_disposition() == "attachment":
        attachments.append({"filename": part.get_filename(), "type": part.get_content_type(),
                            "data": base64.b64encode(part.get_payload(decode=True)).decode("ascii")})
    elif part.get_content_type() == "text/plain":
        texts.append(part.get_content())

print(json.dumps({"from": str(message.get("From", "")), "subject": str(message.get("Subject", "")),
                  "to": str(message.get("To", "")), "headers": list(message.keys()),
                  "texts": texts, "attachments": attachments}))
