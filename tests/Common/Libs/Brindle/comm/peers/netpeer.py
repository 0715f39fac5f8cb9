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
mode = "echo"
conns = []      # accepted: dict(sock, data bytearray, closed bool)
clients = []    # dialled: same shape
udp = {}        # "u": the bound socket, "m": the group member


def pattern(n):
    return bytes((i * 7 + 3) & 0xFF for i in range(n))


def changed(fn=lambda: None):
    with lock:
        fn()
        lock.notify_all()


def reader(entry, echo, slow):
    s = entry["sock"]
    while True:
        try:
            chunk = s.recv(4096 if slow else 65536)
        except OSError:
            chunk = b""
        if not chunk:
            break
        if slow:
            time.sleep(0.001)
        changed(lambda: entry["data"].extend(chunk))
        if echo:
            try:
                s.sendall(chunk)
            except OSError:
                break
    changed(lambda: entry.update(closed=True))


def start(sock, into, echo=False, slow=False, read=True):
    entry = {"sock": sock, "data": bytearray(), "closed": False}
    changed(lambda: into.append(entry))
    if read:
        threading.Thread(target=reader, args=(entry, echo, slow), daemon=True).start()
    return entry


def acceptor(srv):
    while True:
        try:
            s, _ = srv.accept()
        except OSError:
            return
        m = mode
        entry = start(s, conns, m in ("echo", "slowecho"), m == "slowecho", m != "close")
        if m == "close":
            s.close()
            changed(lambda: entry.update(closed=True))


def wait(pred):
    deadline = time.time() + LIMIT
    with lock:
        while not pred():
            left = deadline - time.time()
            if left <= 0:
                return False
            lock.wait(left)
    return True


def received(e, done):
    """The bytes of e once done(data) holds or the connection ended."""
    wait(lambda: done(e["data"]) or e["closed"])
    with lock:
        return bytes(e["data"])


def check_lines(data):
    lines = data.decode("latin-1").split("\n")[:-1]
    bad, order, last = 0, True, {}
    for parts in (line.split(" ") for line in lines):
        if len(parts) != 4 or not parts[3].isdigit() or parts[2] != parts[2][:1] * int(parts[3]):
            bad += 1
            continue
        order &= last.get(parts[0], -1) + 1 == int(parts[1])
        last[parts[0]] = int(parts[1])
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


def tcp_socket():
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    return s


def udp_socket(port, host="127.0.0.1"):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 20)
    s.bind((host, port))
    s.settimeout(LIMIT)
    return s


def handle(words):
    global mode
    cmd, args = words[0], words[1:]
    n = int(args[-1]) if args and args[-1].isdigit() else 0
    if cmd == "listen":
        srv = tcp_socket()
        srv.bind(("127.0.0.1", n))
        srv.listen(64)
        threading.Thread(target=acceptor, args=(srv,), daemon=True).start()
        return {"port": srv.getsockname()[1]}
    if cmd == "freeport":
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            return {"port": s.getsockname()[1]}
    if cmd == "mode":
        mode = args[0]
        return {"ok": True}
    if cmd == "wait_accepted":
        wait(lambda: len(conns) >= n)
        return {"count": len(conns)}
    if cmd in ("digest", "lines", "close"):
        i = int(args[0])
        if not wait(lambda: len(conns) > i):
            return {"error": "no connection %d" % i}
        e = conns[i]
        if cmd == "digest":
            data = received(e, lambda d: len(d) >= n)
            return {"n": len(data), "crc": zlib.crc32(data)}
        if cmd == "lines":
            return check_lines(received(e, lambda d: d.count(b"\n") >= n))
        return shut(e["sock"])
    if cmd in ("dial", "dialclose"):
        s = socket.create_connection(("127.0.0.1", n), timeout=LIMIT)
        s.settimeout(None)
        if cmd == "dialclose":
            s.close()
            return {"ok": True}
        start(s, clients)
        return {"id": len(clients) - 1, "port": s.getsockname()[1]}
    if cmd.startswith("c"):
        e = clients[int(args[0])]
        if cmd == "crecv":
            return {"text": received(e, lambda d: len(d) >= n).hex()}
        if cmd == "csend":
            e["sock"].sendall(bytes.fromhex(args[1]))
            return {"ok": True}
        if cmd == "cclose":
            return shut(e["sock"])
        wait(lambda: e["closed"])
        return {"closed": e["closed"]}
    if cmd == "ubind":
        udp["u"] = udp_socket(0)
        return {"port": udp["u"].getsockname()[1]}
    if cmd in ("urecv", "mrecv"):
        try:
            data, addr = udp[cmd[0]].recvfrom(70000)
        except socket.timeout:
            return {"error": "nothing arrived"}
        return {"n": len(data), "crc": zlib.crc32(data), "from": addr[1]}
    if cmd == "usend":
        if "u" not in udp:
            handle(["ubind"])
        udp["u"].sendto(pattern(n), ("127.0.0.1", int(args[0])))
        return {"from": udp["u"].getsockname()[1]}
    try:
        if cmd == "mjoin":
            udp["m"] = udp_socket(n, "")
            udp["m"].setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                                struct.pack("4s4s", socket.inet_aton(args[0]), socket.inet_aton("0.0.0.0")))
        elif cmd == "msend":
            with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
                s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_LOOP, 1)
                s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 1)
                s.sendto(pattern(n), (args[0], int(args[1])))
        else:
            return {"error": "unknown command " + cmd}
    except OSError as e:
        return {"error": str(e)}
    return {"ok": True}


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
