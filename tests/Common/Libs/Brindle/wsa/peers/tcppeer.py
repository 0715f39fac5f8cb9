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
    out = bytearray(n)
    x = seed & 0xFFFFFFFF
    for i in range(n):
        x = (x * 1103515245 + 12345) & 0xFFFFFFFF
        out[i] = (x >> 16) & 0xFF
    return bytes(out)


def unescape(text):
    return text.replace("\\n", "\n").replace("\\r", "\r").encode()


def read_line(c):
    data = bytearray()
    while not data.endswith(b"\n"):
        b = c.recv(1)
        if not b:
            return None
        data += b
    return data.decode(errors="replace").rstrip("\n")


def handle(words):
    global listener
    cmd = words[0]
    if cmd == "listen":
        port = int(words[1]) if len(words) > 1 else 0
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        if len(words) > 2:
            listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, int(words[2]))
        listener.bind(("127.0.0.1", port))
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
        count = int(words[2]) if len(words) > 2 else 1
        first = len(conns)
        for _ in range(count):
            c = socket.create_connection(("127.0.0.1", int(words[1])), timeout=TIMEOUT)
            conns.append(c)
        return "connected %d %d" % (first, len(conns) - 1)
    if cmd == "localport":
        return "localport %d" % conns[int(words[1])].getsockname()[1]
    if cmd == "send":
        conns[int(words[1])].sendall(unescape(" ".join(words[2:])))
        return "ok"
    if cmd == "sendbytes":
        data = pattern(int(words[2]), int(words[3]))
        conns[int(words[1])].sendall(data)
        return "ok " + hashlib.sha256(data).hexdigest()
    if cmd == "line":
        text = read_line(conns[int(words[1])])
        return "eof" if text is None else "line " + text
    if cmd == "lines":
        texts = set()
        for i in range(int(words[1]), int(words[2]) + 1):
            texts.add(read_line(conns[i]))
        if len(texts) != 1 or None in texts:
            return "mixed %r" % sorted(str(t) for t in texts)
        return "lines " + texts.pop()
    if cmd == "read":
        c, n = conns[int(words[1])], int(words[2])
        data = bytearray()
        while len(data) < n:
            b = c.recv(n - len(data))
            if not b:
                return "short %d" % len(data)
            data += b
        return "read " + hashlib.sha256(data).hexdigest()
    if cmd == "readseq":
        c, count, size = conns[int(words[1])], int(words[2]), int(words[3])
        delay = float(words[4]) if len(words) > 4 else 0.0
        if delay:
            time.sleep(delay)
        data = bytearray()
        for k in range(count):
            while len(data) < size:
                b = c.recv(1 << 20)
                if not b:
                    return "short %d" % (k * size + len(data))
                data += b
            if bytes(data[:size]) != struct.pack(">I", k) * (size // 4):
                return "disorder %d" % k
            del data[:size]
        if data or c.recv(1):
            return "extra"
        return "ordered"
    if cmd == "eof":
        try:
            b = conns[int(words[1])].recv(1)
        except ConnectionResetError:
            return "reset"
        return "eof" if not b else "data"
    if cmd == "eofall":
        for i in range(int(words[1]), int(words[2]) + 1):
            try:
                while conns[i].recv(65536):
                    pass
            except ConnectionResetError:
                pass
        return "eof"
    if cmd == "close":
        conns[int(words[1])].close()
        return "ok"
    if cmd == "closeall":
        for c in conns:
            c.close()
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
