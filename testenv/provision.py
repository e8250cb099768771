#!/usr/bin/env python3
"""Gives a sandbox user what a mail server's user has: a mailbox with a
sub-mailbox, rights on another mailbox and Sieve scripts (one active); or
prints what is left of the user on the IMAP and Sieve servers.

    provision.py create HOST IMAP_PORT SIEVE_PORT USER
    provision.py show HOST IMAP_PORT SIEVE_PORT USER

Acts as the sandbox administrator (admin/secret). With CA_FILE in the
environment it speaks STARTTLS on both servers and trusts that authority.
"""
import base64
import imaplib
import os
import socket
import ssl
import sys

ADMIN, PASSWORD = "admin", "secret"


def tls_context():
    ca = os.environ.get("CA_FILE")
    return ssl.create_default_context(cafile=ca) if ca else None


def imap_session(host, port):
    imap = imaplib.IMAP4(host, port)
    if tls_context():
        imap.starttls(tls_context())
    imap.login(ADMIN, PASSWORD)
    return imap


def sieve_session(host, port, user):
    sock = socket.create_connection((host, port), timeout=10)
    stream = sock.makefile("rwb")

    def reply():
        lines = []
        while True:
            line = stream.readline()
            lines.append(line.decode(errors="replace").rstrip("\r\n"))
            if not line or line.startswith((b"OK", b"NO", b"BYE")):
                return lines

    def send(data):
        stream.write(data)
        stream.flush()
        return reply()

    reply()
    if tls_context():
        send(b"STARTTLS\r\n")
        sock = tls_context().wrap_socket(sock, server_hostname=host)
        stream = sock.makefile("rwb")
        reply()  # the capabilities again
    plain = base64.b64encode(f"{user}\0{ADMIN}\0{PASSWORD}".encode()).decode()
    return send, send(f'AUTHENTICATE "PLAIN" "{plain}"\r\n'.encode())


def create(host, imap_port, sieve_port, user):
    imap = imap_session(host, imap_port)
    for mailbox in (f"user.{user}", f"user.{user}.Sent", "shared.projects"):
        imap.create(mailbox)
    imap.setacl("shared.projects", user, "lrsw")
    imap.setacl("shared.projects", "anyone", "lr")
    imap.logout()
    send, login = sieve_session(host, sieve_port, user)
    if not login[-1].startswith("OK"):
        sys.exit(f"sieve login failed: {login}")
    for name in ("vacation", "spam"):
        body = b'require "fileinto";\r\nkeep;\r\n'
        answer = send(f'PUTSCRIPT "{name}" {{{len(body)}+}}\r\n'.encode() + body + b"\r\n")
        if not answer[-1].startswith("OK"):
            sys.exit(f"putscript failed: {answer}")
    send(b'SETACTIVE "spam"\r\n')
    send(b"LOGOUT\r\n")


def show(host, imap_port, sieve_port, user):
    imap = imap_session(host, imap_port)
    _, listing = imap.list('""', "*")
    for line in listing:
        name = line.decode().split(' "." ', 1)[1]
        _, acl = imap.getacl(name)
        print("  mailbox", acl[0].decode())
    imap.logout()
    send, login = sieve_session(host, sieve_port, user)
    if login[-1].startswith("OK"):
        print("  sieve scripts:", " ".join(send(b"LISTSCRIPTS\r\n")[:-1]) or "none")
        send(b"LOGOUT\r\n")
    else:
        print(f"  sieve: {user} has no mailbox and no scripts ({login[-1]})")


if __name__ == "__main__":
    action, host, imap_port, sieve_port, user = sys.argv[1:6]
    {"create": create, "show": show}[action](host, int(imap_port), int(sieve_port), user)
