#!/usr/bin/env python3
"""A TCP and UDP peer on 127.0.0.1, standard library only, driven by one
command line at a time on stdin; every command answers one JSON line.

TCP server side (connections the peer accepted, numbered from 0):
  listen [PORT]          listen (PORT 0 or none: any free port) -> port
  freeport               a port nobody listens on -> port
  mode echo|sink|close|slowecho   how the next accepted connections behave
  wait_accepted N        until N connections were accepted -> count
  digest ID N            until ID received N bytes -> n, crc (CRC-32)
  lines ID N             until ID received N lines -> count, bad, order
  close ID               closes the connection
TCP client side (connections the peer made, numbered from 0):
  dial PORT              connects -> id, port (the peer's own port)
  dialclose PORT         connects and closes at once
  crecv ID N             until client ID received N bytes -> text (hex)
  csend ID HEX           sends bytes
  cclose ID              closes
  cwaitclose ID          until the other end closed -> closed
UDP:
  ubind                  binds a UDP socket -> port
  urecv                  next datagram on it -> n, crc, from
  usend PORT N           N pattern bytes to 127.0.0.1:PORT -> from
  mjoin GROUP PORT       a second socket joins GROUP on PORT -> ok/error
  mrecv                  next datagram on it -> n, crc
  msend GROUP PORT N     N pattern bytes to the group (loop on, TTL 1)
"""
import json
import socket
import struct
import sys
import threading
import time
import zlib

LIMIT = 60.0
lock = threading.Condition()
server = None
mode = "echo"
conns = []      # accepted: dict(sock, data bytearray, closed bool)
clients = []    # dialled: same shape
usock = None
msock = None


def pattern(n):
    return bytes((i * 7 + 3) & 0xFF for i in range(n))


def reader(entry, echo, slow):
    s = entry["sock"]
    while True:
        try:
            chunk = s.recv(65536 if not slow else 4096)
        except OSError:
            chunk = b""
        if not chunk:
            break
        if slow:
            time.sleep(0.001)
        with lock:
            entry["data"] += chunk
            lock.notify_all()
        if echo:
            try:
                s.sendall(chunk)
            except OSError:
                break
    with lock:
        entry["closed"] = True
        lock.notify_all()


def acceptor(srv):
    while True:
        try:
            s, _ = srv.accept()
        except OSError:
            return
        entry = {"sock": s, "data": bytearray(), "closed": False}
        with lock:
            conns.append(entry)
            m = mode
            lock.notify_all()
        if m == "close":
            s.close()
            with lock:
                entry["closed"] = True
                lock.notify_all()
            continue
        threading.Thread(target=reader, args=(entry, m in ("echo", "slowecho"), m == "slowecho"),
                         daemon=True).start()


def wait(pred):
    deadline = time.time() + LIMIT
    with lock:
        while not pred():
            left = deadline - time.time()
            if left <= 0:
                return False
            lock.wait(left)
    return True


def check_lines(data):
    lines = bytes(data).decode("latin-1").split("\n")[:-1]
    bad = 0
    order = True
    last = {}
    for line in lines:
        parts = line.split(" ")
        if len(parts) != 4 or not parts[3].isdigit() or len(parts[2]) != int(parts[3]) \
                or parts[2] != parts[2][:1] * len(parts[2]):
            bad += 1
            continue
        t, seq = parts[0], int(parts[1])
        if last.get(t, -1) + 1 != seq:
            order = False
        last[t] = seq
    return {"count": len(lines), "bad": bad, "order": order}


def shut(s):
    # shutdown first: a reader blocked in recv keeps a plain close from
    # ending the connection.
    try:
        s.shutdown(socket.SHUT_RDWR)
    except OSError:
        pass
    s.close()
    return {"ok": True}


def handle(words):
    global server, mode, usock, msock
    cmd = words[0]
    if cmd == "listen":
        port = int(words[1]) if len(words) > 1 else 0
        srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        srv.bind(("127.0.0.1", port))
        srv.listen(64)
        server = srv
        threading.Thread(target=acceptor, args=(srv,), daemon=True).start()
        return {"port": srv.getsockname()[1]}
    if cmd == "freeport":
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
        s.close()
        return {"port": port}
    if cmd == "mode":
        mode = words[1]
        return {"ok": True}
    if cmd == "wait_accepted":
        n = int(words[1])
        wait(lambda: len(conns) >= n)
        return {"count": len(conns)}
    if cmd in ("digest", "lines", "close"):
        i = int(words[1])
        if not wait(lambda: len(conns) > i):
            return {"error": "no connection %d" % i}
        e = conns[i]
        if cmd == "digest":
            n = int(words[2])
            wait(lambda: len(e["data"]) >= n or e["closed"])
            with lock:
                data = bytes(e["data"])
            return {"n": len(data), "crc": zlib.crc32(data)}
        if cmd == "lines":
            n = int(words[2])
            wait(lambda: e["data"].count(b"\n") >= n or e["closed"])
            with lock:
                data = bytes(e["data"])
            return check_lines(data)
        return shut(e["sock"])
    if cmd in ("dial", "dialclose"):
        s = socket.create_connection(("127.0.0.1", int(words[1])), timeout=LIMIT)
        s.settimeout(None)
        if cmd == "dialclose":
            s.close()
            return {"ok": True}
        entry = {"sock": s, "data": bytearray(), "closed": False}
        with lock:
            clients.append(entry)
            cid = len(clients) - 1
        threading.Thread(target=reader, args=(entry, False, False), daemon=True).start()
        return {"id": cid, "port": s.getsockname()[1]}
    if cmd in ("crecv", "csend", "cclose", "cwaitclose"):
        e = clients[int(words[1])]
        if cmd == "crecv":
            n = int(words[2])
            wait(lambda: len(e["data"]) >= n or e["closed"])
            with lock:
                return {"text": bytes(e["data"]).hex()}
        if cmd == "csend":
            e["sock"].sendall(bytes.fromhex(words[2]))
            return {"ok": True}
        if cmd == "cclose":
            return shut(e["sock"])
        wait(lambda: e["closed"])
        return {"closed": e["closed"]}
    if cmd == "ubind":
        usock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        usock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
        usock.bind(("127.0.0.1", 0))
        usock.settimeout(LIMIT)
        return {"port": usock.getsockname()[1]}
    if cmd in ("urecv", "mrecv"):
        s = usock if cmd == "urecv" else msock
        try:
            data, addr = s.recvfrom(70000)
        except socket.timeout:
            return {"error": "nothing arrived"}
        return {"n": len(data), "crc": zlib.crc32(data), "from": addr[1]}
    if cmd == "usend":
        if usock is None:
            handle(["ubind"])
        usock.sendto(pattern(int(words[2])), ("127.0.0.1", int(words[1])))
        return {"from": usock.getsockname()[1]}
    if cmd == "mjoin":
        msock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        msock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        msock.bind(("", int(words[2])))
        msock.settimeout(LIMIT)
        try:
            msock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                             struct.pack("4s4s", socket.inet_aton(words[1]), socket.inet_aton("0.0.0.0")))
        except OSError as e:
            return {"error": str(e)}
        return {"ok": True}
    if cmd == "msend":
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_LOOP, 1)
        s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
        try:
            s.sendto(pattern(int(words[3])), (words[1], int(words[2])))
        except OSError as e:
            return {"error": str(e)}
        finally:
            s.close()
        return {"ok": True}
    return {"error": "unknown command " + cmd}


def main():
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        try:
            answer = handle(words)
        except Exception as e:  # the test reads the reason
            answer = {"error": "%s: %s" % (type(e).__name__, e)}
        sys.stdout.write(json.dumps(answer, separators=(",", ":")) + "\n")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
