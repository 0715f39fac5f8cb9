#!/usr/bin/env python3
"""A TCP peer driven one command line at a time on standard input.

Each command gets one answer line on standard output. Connections (accepted
or dialled) are numbered from 0 in the order they were made.

  listen [port] [rcvbuf]   listen on 127.0.0.1 -> "port N"
  unlisten                 close the listening socket -> "ok"
  accept                   wait for the next connection -> "accepted I LOCALPORT PEERPORT"
  connect PORT [count]     dial 127.0.0.1:PORT count times -> "connected FIRST LAST"
  localport I              -> "localport N" (its own port)
  send I TEXT              send TEXT (\\n and \\r escapes) -> "ok"
  sendbytes I N SEED       send N pattern bytes -> "ok SHA256"
  line I                   read up to and including "\\n" -> "line TEXT" or "eof"
  lines FIRST LAST         one line from each connection -> "lines" + same text or "mixed"
  read I N                 read exactly N bytes -> "read SHA256" or "short N"
  readseq I COUNT SIZE [delay]
                           read COUNT blocks of SIZE bytes, block k being
                           the big-endian 32-bit k repeated, then the end
                           -> "ordered" or "disorder K" or "short N" or "extra"
  eof I                    wait for the end -> "eof" or "reset" or "data"
  eofall FIRST LAST        wait for the end of each -> "eof"
  close I                  close it -> "ok"
  closeall                 close every connection -> "ok"
"""
import hashlib
import socket
import struct
import sys
import time

TIMEOUT = 60.0
listener = None
conns = []


def pattern(n, seed):
    out, x = bytearray(n), seed & 0xFFFFFFFF
    for i in range(n):
        x = (x * 1103515245 + 12345) & 0xFFFFFFFF
        out[i] = (x >> 16) & 0xFF
    return bytes(out)


def read_line(c):
    data = bytearray()
    while not data.endswith(b"\n"):
        b = c.recv(1)
        if not b:
            return None
        data += b
    return data.decode(errors="replace").rstrip("\n")


def read_exactly(c, n):
    """n bytes, or the count that came before the end."""
    data = bytearray()
    while len(data) < n:
        b = c.recv(n - len(data))
        if not b:
            return len(data)
        data += b
    return bytes(data)


def drain(c):
    try:
        while c.recv(65536):
            pass
    except ConnectionResetError:
        pass


def handle(words):
    global listener
    cmd, n = words[0], [int(w) for w in words[1:] if w.isdigit()]
    c = conns[n[0]] if n and cmd not in ("listen", "connect", "lines", "eofall") else None
    if cmd == "listen":
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        if len(n) > 1:
            listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, n[1])
        listener.bind(("127.0.0.1", n[0] if n else 0))
        listener.listen(64)
        listener.settimeout(TIMEOUT)
        return "port %d" % listener.getsockname()[1]
    if cmd == "unlisten":
        listener.close()
        return "ok"
    if cmd == "accept":
        c, peer = listener.accept()
        c.settimeout(TIMEOUT)
        conns.append(c)
        return "accepted %d %d %d" % (len(conns) - 1, c.getsockname()[1], peer[1])
    if cmd == "connect":
        first = len(conns)
        for _ in range(n[1] if len(n) > 1 else 1):
            conns.append(socket.create_connection(("127.0.0.1", n[0]), timeout=TIMEOUT))
        return "connected %d %d" % (first, len(conns) - 1)
    if cmd == "localport":
        return "localport %d" % c.getsockname()[1]
    if cmd == "send":
        c.sendall(" ".join(words[2:]).replace("\\n", "\n").replace("\\r", "\r").encode())
        return "ok"
    if cmd == "sendbytes":
        data = pattern(n[1], n[2])
        c.sendall(data)
        return "ok " + hashlib.sha256(data).hexdigest()
    if cmd == "line":
        text = read_line(c)
        return "eof" if text is None else "line " + text
    if cmd == "lines":
        texts = set(read_line(conns[i]) for i in range(n[0], n[1] + 1))
        if len(texts) != 1 or None in texts:
            return "mixed %r" % sorted(str(t) for t in texts)
        return "lines " + texts.pop()
    if cmd == "read":
        data = read_exactly(c, n[1])
        return "short %d" % data if isinstance(data, int) else "read " + hashlib.sha256(data).hexdigest()
    if cmd == "readseq":
        size = n[2]
        time.sleep(float(words[4]) if len(words) > 4 else 0)
        for k in range(n[1]):
            block = read_exactly(c, size)
            if isinstance(block, int):
                return "short %d" % (k * size + block)
            if block != struct.pack(">I", k) * (size // 4):
                return "disorder %d" % k
        return "extra" if c.recv(1) else "ordered"
    if cmd == "eof":
        try:
            return "eof" if not c.recv(1) else "data"
        except ConnectionResetError:
            return "reset"
    if cmd == "eofall":
        for i in range(n[0], n[1] + 1):
            drain(conns[i])
        return "eof"
    if cmd in ("close", "closeall"):
        for each in [c] if c else conns:
            each.close()
        return "ok"
    return "unknown " + cmd


def main():
    for raw in sys.stdin:
        words = raw.split()
        if not words:
            continue
        try:
            answer = handle(words)
        except Exception as e:  # the test reads the failure as an answer
            answer = "error %s %s" % (type(e).__name__, e)
        sys.stdout.write(answer + "\n")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
