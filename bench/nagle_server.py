#!/usr/bin/env python3
"""A POP3 server on loopback that writes as popa3d and solid-pop3d do: no
CAPA (so no PIPELINING), and every multi-line answer in two writes, the
status line first, with Nagle's algorithm left on. The second write waits
for the acknowledgement of the first. Serves COUNT messages of a few header
lines to one connection after another.
Usage: bench/nagle_server.py PORT COUNT"""
import socket
import sys
import threading

PORT, COUNT = int(sys.argv[1]), int(sys.argv[2])


def header(n):
    return (f"From: sender{n}@example.org\r\nTo: joe@example.org\r\nSubject: message {n}\r\n"
            f"Date: Thu, 10 Dec 2026 09:00:00 +0000\r\nMessage-ID: <{n}@example.org>\r\n\r\nbody\r\n")


def serve(conn):
    reader = conn.makefile("rb")
    conn.sendall(b"+OK ready\r\n")
    for raw in reader:
        words = raw.decode("ascii", "replace").split()
        command = words[0].upper() if words else ""
        if command in ("USER", "PASS"):
            conn.sendall(b"+OK\r\n")
        elif command == "STAT":
            conn.sendall(f"+OK {COUNT} {COUNT * 200}\r\n".encode())
        elif command == "LIST" and len(words) > 1:
            conn.sendall(f"+OK {words[1]} {len(header(int(words[1])))}\r\n".encode())
        elif command == "TOP" and len(words) > 1:
            conn.sendall(b"+OK\r\n")
            conn.sendall((header(int(words[1])) + ".\r\n").encode())
        elif command == "QUIT":
            conn.sendall(b"+OK\r\n")
            break
        else:
            conn.sendall(b"-ERR unknown command\r\n")
    conn.close()


listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", PORT))
listener.listen(8)
while True:
    client, _ = listener.accept()
    threading.Thread(target=serve, args=(client,), daemon=True).start()
