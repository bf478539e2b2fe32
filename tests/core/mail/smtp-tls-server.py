#!/usr/bin/env python3
# An SMTP server for the mail tests: one connection, TLS through memory buffers so that every byte
# on the wire is recorded as it travelled.
#
# smtp-tls-server.py MODE CERT KEY PORTFILE
#   MODE starttls: offers STARTTLS (and AUTH LOGIN) before and after it
#        implicit: TLS from the first byte, as on port 465
#        plain:    offers AUTH LOGIN and no STARTTLS
# Writes its port to PORTFILE once listening; at the end prints one JSON object: the lines it
# received (decrypted), the raw bytes received on the wire (hex), whether TLS was up, and the error
# that ended the connection, if any.
import json
import os
import socket
import ssl
import sys

mode, cert, key, portfile = sys.argv[1:5]
listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
listener.bind(("127.0.0.1", 0))
listener.listen(1)
with open(portfile + ".tmp", "w") as f:
    f.write(str(listener.getsockname()[1]))
os.rename(portfile + ".tmp", portfile)
listener.settimeout(20)

ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
ctx.load_cert_chain(cert, key)
wire = bytearray()
lines = []
state = {"tls": None, "in": None, "out": None, "buf": b""}


def recv_raw(conn):
    data = conn.recv(65536)
    if not data:
        raise EOFError("client closed the connection")
    wire.extend(data)
    return data


def flush(conn):
    if state["out"] is not None:
        data = state["out"].read()
        if data:
            conn.sendall(data)


def send(conn, text):
    data = (text + "\r\n").encode()
    if state["tls"] is None:
        conn.sendall(data)
    else:
        state["tls"].write(data)
        flush(conn)


def start_tls(conn):
    state["in"], state["out"] = ssl.MemoryBIO(), ssl.MemoryBIO()
    tls = ctx.wrap_bio(state["in"], state["out"], server_side=True)
    while True:
        try:
            tls.do_handshake()
            flush(conn)
            state["tls"] = tls
            return
        except ssl.SSLWantReadError:
            flush(conn)
            state["in"].write(recv_raw(conn))


def read_line(conn):
    while b"\r\n" not in state["buf"]:
        tls = state["tls"]
        if tls is None:
            state["buf"] += recv_raw(conn)
            continue
        try:
            state["buf"] += tls.read(65536)
        except ssl.SSLWantReadError:
            state["in"].write(recv_raw(conn))
    line, state["buf"] = state["buf"].split(b"\r\n", 1)
    return line.decode("latin-1")


def ehlo_reply():
    offers = ["test.invalid greets you"]
    if mode == "starttls" and state["tls"] is None:
        offers.append("STARTTLS")
    offers.append("AUTH LOGIN")
    return "\r\n".join("250-" + o for o in offers[:-1]) + "\r\n250 " + offers[-1]


def serve(conn):
    if mode == "implicit":
        start_tls(conn)
    send(conn, "220 test.invalid ESMTP")
    auth_step = 0
    while True:
        line = read_line(conn)
        lines.append(line)
        verb = line.split(" ")[0].upper()
        if auth_step:
            auth_step = auth_step + 1 if auth_step < 2 else 0
            send(conn, "334 UGFzc3dvcmQ6" if auth_step else "235 welcome")
        elif verb == "EHLO":
            send(conn, ehlo_reply())
        elif verb == "STARTTLS" and mode == "starttls" and state["tls"] is None:
            send(conn, "220 go ahead")
            start_tls(conn)
        elif line.upper() == "AUTH LOGIN":
            auth_step = 1
            send(conn, "334 VXNlcm5hbWU6")
        elif verb == "DATA":
            send(conn, "354 go ahead")
            while read_line(conn) != ".":
                pass
            lines.append(".")
            send(conn, "250 queued")
        elif verb in ("RSET", "MAIL", "RCPT", "HELO"):
            send(conn, "250 ok")
        elif verb == "QUIT":
            send(conn, "221 bye")
            return
        else:
            send(conn, "502 not here")


error = ""
try:
    conn, _ = listener.accept()
    conn.settimeout(20)
    try:
        serve(conn)
    finally:
        conn.close()
except Exception as e:  # the end of the connection is part of what the test looks at
    error = type(e).__name__ + ": " + str(e)
print(json.dumps({"lines": lines, "wire": wire.hex(), "tls": state["tls"] is not None, "error": error}))
