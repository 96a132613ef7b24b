#!/usr/bin/env python3
"""Lists every message of a Maildir++ tree as Python's mailbox and email
modules read it, one tab-separated line a message: folder, subfolder,
seen flag, Message-ID, From, To, Subject, Date (ISO 8601), X-Priority,
X-Morvane-SMS and the text/plain body, decoded, with backslash, tab, CR
and LF escaped as \\\\, \\t, \\r and \\n."""
import email
import email.policy
import mailbox
import sys


def escaped(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r").replace("\n", "\\n")


def header(message, name):
    value = message[name]
    return "" if value is None else str(value)


def dump(box, folder):
    for key in box.keys():
        meta = box.get_message(key)
        message = email.message_from_bytes(box.get_bytes(key), policy=email.policy.default)
        body = message.get_body(("plain",))
        date = message["Date"]
        fields = [folder, meta.get_subdir(), "S" if "S" in meta.get_flags() else "-",
                  header(message, "Message-ID"), header(message, "From"), header(message, "To"),
                  header(message, "Subject"), date.datetime.isoformat() if date is not None else "",
                  header(message, "X-Priority"), header(message, "X-Morvane-SMS"),
                  body.get_content() if body is not None else ""]
        print("\t".join(escaped(field) for field in fields))


root = mailbox.Maildir(sys.argv[1], factory=None, create=False)
dump(root, "INBOX")
for name in sorted(root.list_folders()):
    dump(root.get_folder(name), name)
