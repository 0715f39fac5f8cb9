#!/usr/bin/env python3
"""A log-shipping peer for the log server tests, written from the wire format.

A message is SOH, the header record, STX, the records, ETX; a record is GS and
its id, then each value as RS, id, US, text. The clients send a "Reset" message
(C = 0) and "Log" messages with the values C (counter 1, 2, ...), T (seconds
since 1970), S (severity), X (source), H (host), A (application), B (batch),
E (last error) and 0 (text), all as text.

Commands (the port first):
  send PORT APP HOST FIRST LAST [--reset] [--skip A-B] [--severity S] [--text T]
       [--login USER:PASSWORD]
      one connection; records FIRST..LAST, leaving out the range A-B, after
      a LOGIN message with a Credentials record (1 username, 2 password)
  many PORT CLIENTS COUNT      CLIENTS connections at once, each a client of
                               its own ("many-<i>") with a reset and COUNT records
  stream PORT APP COUNT PAUSE_EVERY
      one client that reconnects by itself when the server goes away and goes
      on counting (no reset after the first), as the library's loggers do;
      prints "sent <n>" when done; records sent into a dead connection are lost
  secure PORT APP COUNT        the framed secure channel, then a reset and
                               COUNT records
  hostile PORT KIND            garbage | oversized | badnumbers | unknown |
                               churn | noread-open | secure-huge | secure-plain
"""
import socket
import sys
import threading
import time

SOH, STX, ETX, GS, RS, US = b"\x01", b"\x02", b"\x03", b"\x1d", b"\x1e", b"\x1f"


def message(kind, values):
    out = SOH + GS + kind.encode()
    for key, value in values:
        out += RS + key.encode() + US + str(value).encode()
    return out + STX + ETX


def reset():
    return message("Reset", [("C", 0)])


def log(counter, app, host, text, severity=0, source="pysrc", t=None):
    return message("Log", [("C", counter), ("T", int(time.time()) if t is None else t), ("S", severity),
                           ("X", source), ("H", host), ("A", app), ("B", 0), ("E", 0), ("0", text)])


def connect(port):
    return socket.create_connection(("127.0.0.1", port), timeout=30)


def finish(sock, dead_is_fine=False):
    """Ends our side and waits for the server's close."""
    sock.shutdown(socket.SHUT_WR)
    try:
        sock.recv(1)
    except OSError:
        if not dead_is_fine:
            raise
    sock.close()


def option(opts, name, default=None):
    return opts[opts.index(name) + 1] if name in opts else default


def cmd_send(port, args):
    app, host, first, last = args[0], args[1], int(args[2]), int(args[3])
    opts = args[4:]
    skip = [int(n) for n in option(opts, "--skip", "0--1").split("-", 1)]
    severity = int(option(opts, "--severity", 0))
    text = option(opts, "--text", "record %d")
    sock = connect(port)
    chunk = []
    if "--login" in opts:
        user, password = option(opts, "--login").split(":", 1)
        chunk.append(SOH + GS + b"LOGIN" + STX + GS + b"Credentials" + RS + b"0" + US + RS + b"1" + US +
                     user.encode() + RS + b"2" + US + password.encode() + ETX)
    if "--reset" in opts:
        chunk.append(reset())
    for c in range(first, last + 1):
        if skip[0] <= c <= skip[1]:
            continue
        chunk.append(log(c, app, host, text % c if "%d" in text else text, severity, t=1700000000 + c))
    try:
        sock.sendall(b"".join(chunk))
        sock.shutdown(socket.SHUT_WR)
        sock.recv(1)  # the server's close
    except (ConnectionResetError, BrokenPipeError):
        print("closed by the server")
        return
    sock.close()
    print("sent")


def cmd_many(port, args):
    clients, count = int(args[0]), int(args[1])
    errors = []

    def one(i):
        try:
            sock = connect(port)
            sock.sendall(reset())
            for first in range(1, count + 1, 500):
                sock.sendall(b"".join(log(c, "many-%d" % i, "pyhost", "client %d record %d" % (i, c))
                                      for c in range(first, min(count, first + 499) + 1)))
            finish(sock)
        except Exception as e:  # reported below
            errors.append(repr(e))

    threads = [threading.Thread(target=one, args=(i,)) for i in range(clients)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if errors:
        print("errors", errors)
        sys.exit(1)
    print("sent %d" % (clients * count))


def cmd_stream(port, args):
    app, count, pause_every = args[0], int(args[1]), int(args[2])
    sock = None
    first = True
    c = 1
    while c <= count:
        if sock is None:
            try:
                sock = connect(port)
            except OSError:
                time.sleep(0.05)
                continue
            if first:
                sock.sendall(reset())
                first = False
        try:
            sock.sendall(log(c, app, "pyhost", "stream record %d" % c))
        except OSError:
            # The record went into a connection that died: lost, and the
            # server sees the gap. The counter goes on, as the loggers do.
            sock.close()
            sock = None
        c += 1
        if c % pause_every == 0:
            time.sleep(0.01)
    if sock is not None:
        finish(sock, dead_is_fine=True)
    print("sent %d" % count)


def wirepeer():
    import os
    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "Common", "Libs", "Brindle",
                                    "comm", "peers"))
    import wirepeer as peer
    return peer


def cmd_secure(port, args):
    """secure PORT APP COUNT: the framed secure channel (this side starts the
    handshake, Blowfish), then a reset and COUNT records as data frames."""
    app, count = args[0], int(args[1])
    peer = wirepeer()
    sock = connect(port)
    ch = peer.Channel(sock, "1")
    ch.initiate()
    for frame in ch.frames():
        ch.on_frame(frame)
        if ch.state == ch.SECURE:
            break
    ch.send_data(reset())
    for first in range(1, count + 1, 100):
        ch.send_data(b"".join(log(c, app, "pyhost", "secure record %d" % c)
                              for c in range(first, min(count, first + 99) + 1)))
    finish(sock, dead_is_fine=True)
    print("sent %d" % count)


def closed_by_peer(sock):
    try:
        sock.settimeout(30)
        while True:
            if sock.recv(1) == b"":
                return True
    except (ConnectionResetError, BrokenPipeError):
        return True
    except TimeoutError:
        return False


def cmd_hostile(port, args):
    kind = args[0]
    if kind == "garbage":
        sock = connect(port)
        sock.sendall(b"\x01not a message\x03" + bytes(range(256)) + b"\x01\x1d\x02\x03\x01\x02\x1dx\x03")
        sock.sendall(message("Log", [("C", 1)]) * 3)  # no T, S ...: not numbers
        sock.close()
        print("done")
    elif kind == "oversized":
        # A message that never ends: the server must cut it off long before
        # the gigabyte it claims to be.
        sock = connect(port)
        sock.sendall(SOH + GS + b"Log" + RS + b"0" + US)
        block = b"x" * 65536
        sent = 0
        try:
            while sent < (1 << 30):
                sock.sendall(block)
                sent += len(block)
        except (ConnectionResetError, BrokenPipeError):
            pass
        print("cut off after %d" % sent if sent < (1 << 30) else "not cut off")
    elif kind == "badnumbers":
        sock = connect(port)
        for value in ["abc", "", "1073741824", "-5", "0", "1e3", " 7"]:
            sock.sendall(message("Log", [("C", value), ("T", 1), ("S", 0), ("X", "x"), ("H", "bad"), ("A", "bad"),
                                         ("B", 0), ("E", 0), ("0", "bad counter")]))
        finish(sock)
        print("done")
    elif kind == "unknown":
        sock = connect(port)
        try:
            for i in range(150):
                sock.sendall(message("Nonsense", [("C", i)]))
        except (ConnectionResetError, BrokenPipeError):
            print("closed")
            return
        print("closed" if closed_by_peer(sock) else "open")
    elif kind == "churn":
        for i in range(1000):
            s = socket.create_connection(("127.0.0.1", port), timeout=30)
            if i % 2:
                s.sendall(b"\x01\x1dRe")  # half a message, then gone
            s.close()
        print("done")
    elif kind == "secure-huge":
        # A frame header that claims a gigabyte of body.
        sock = connect(port)
        head = bytearray(b"\x1c10" + b"0" + b"\0 " + b"%02x%08x%08x%08x" % (0, 1 << 30, 1 << 30, 0))
        x = 0
        for i, c in enumerate(head):
            if i != 4:
                x ^= c
        head[4] = x
        sock.sendall(bytes(head) + b"y" * 65536)
        print("closed" if closed_by_peer(sock) else "open")
    elif kind == "secure-plain":
        # The message text form without the channel: not one frame.
        sock = connect(port)
        sock.sendall(reset() + log(1, "plain", "pyhost", "not framed"))
        sock.shutdown(socket.SHUT_WR)
        closed_by_peer(sock)
        print("done")
    elif kind == "noread-open":
        # Sends, never reads, stays connected until stdin closes.
        sock = connect(port)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1024)
        sock.sendall(reset() + log(1, "noread", "pyhost", "never reads"))
        print("open", flush=True)
        sys.stdin.read()
        sock.close()
    else:
        sys.exit("unknown kind " + kind)


def main():
    command, port, args = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    {"send": cmd_send, "many": cmd_many, "stream": cmd_stream, "hostile": cmd_hostile, "secure": cmd_secure}[command](port, args)


if __name__ == "__main__":
    main()
