#!/usr/bin/env python3
"""A log server for the log-service client, written from the wire format.

Messages arrive in the message text form: SOH 0x01, the header record, STX
0x02, records, ETX 0x03; a record is GS 0x1D and its id, then per value RS
0x1E, the value id, US 0x1F, the value text. The client sends a header "Reset"
(C = 0) when it starts numbering, and a header "Log" per record with values
C T S X H A B E 0 in that order.

Commands on standard input, one answer line each:
  listen [port]   -> "port N"
  stop            close the listener and every connection -> "ok"
  wait N          wait until N log records have arrived -> "count N"
  report          -> flat JSON: accepted (connections so far), records, resets, gaps ("after-next;..."),
                     last counter, f_<id> the values of the last record, bad
                     (the first malformed message's fault or ""), order ("ok"
                     or what was out of order)
"""
import json
import socket
import sys
import threading
import time

SOH, STX, ETX, GS, RS, US = b"\x01", b"\x02", b"\x03", b"\x1d", b"\x1e", b"\x1f"
ORDER = ["C", "T", "S", "X", "H", "A", "B", "E", "0"]

lock = threading.Condition()
state = {"accepted": 0, "records": 0, "resets": 0, "gaps": [], "last": None, "fields": {}, "bad": "", "order": "ok"}
listener = None
conns = []
stopping = threading.Event()


def on_message(raw):
    if not (raw.startswith(SOH) and raw.endswith(ETX) and STX in raw):
        raise ValueError("bad frame %r" % raw[:40])
    header = raw[1:raw.index(STX)]
    if not header.startswith(GS):
        raise ValueError("header without GS")
    # The header record: its id, then per value RS, id, US, text.
    parts = header[1:].split(RS)
    if any(US not in p for p in parts[1:]):
        raise ValueError("value without US")
    rid, values = parts[0].decode(), [tuple(t.decode() for t in p.split(US, 1)) for p in parts[1:]]
    with lock:
        if rid == "Reset":
            if values != [("C", "0")]:
                raise ValueError("reset values %r" % values)
            state["resets"] += 1
            state["last"] = 0
        elif rid == "Log":
            if [v[0] for v in values] != ORDER:
                state["order"] = "ids %r" % [v[0] for v in values]
            fields = dict(values)
            c, last = int(fields["C"]), state["last"]
            if last is None:
                state["order"] = "log before any reset"
            elif c != last + 1:
                state["gaps"].append([last, c])
            state.update(last=c, records=state["records"] + 1, fields=fields)
        else:
            raise ValueError("unknown header %r" % rid)
        lock.notify_all()


def serve(conn):
    buf = b""
    while not stopping.is_set():
        try:
            data = conn.recv(65536)
        except OSError:
            return
        if not data:
            return
        buf += data
        while ETX in buf:
            end = buf.index(ETX) + 1
            msg, buf = buf[:end], buf[end:]
            try:
                on_message(msg)
            except Exception as e:
                with lock:
                    if not state["bad"]:
                        state["bad"] = str(e)
                    lock.notify_all()


def accept_loop(lst):
    while True:
        try:
            c, _ = lst.accept()
        except OSError:
            return
        conns.append(c)
        with lock:
            state["accepted"] += 1
        threading.Thread(target=serve, args=(c,), daemon=True).start()


def shut(s):
    try:
        s.shutdown(socket.SHUT_RDWR)
    except OSError:
        pass
    s.close()


def handle(words):
    global listener
    cmd = words[0]
    if cmd == "listen":
        stopping.clear()
        port = int(words[1]) if len(words) > 1 else 0
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", port))
        listener.listen(16)
        threading.Thread(target=accept_loop, args=(listener,), daemon=True).start()
        return "port %d" % listener.getsockname()[1]
    if cmd == "stop":
        stopping.set()
        for c in [listener] + conns:
            shut(c)
        del conns[:]
        return "ok"
    if cmd == "wait":
        n = int(words[1])
        deadline = time.time() + 120
        with lock:
            while state["records"] < n and time.time() < deadline and not state["bad"]:
                lock.wait(0.5)
            return "count %d" % state["records"]
    if cmd == "report":
        with lock:
            out = {k: state[k] for k in ("accepted", "records", "resets", "last", "bad", "order")}
            out["gaps"] = ";".join("%d-%d" % (a, b) for a, b in state["gaps"])
            for k, v in state["fields"].items():
                out["f_" + k] = v
            return json.dumps(out, separators=(",", ":"))
    return "unknown " + cmd


def main():
    for raw in sys.stdin:
        words = raw.split()
        if not words:
            continue
        try:
            answer = handle(words)
        except Exception as e:
            answer = "error %s %s" % (type(e).__name__, e)
        sys.stdout.write(answer + "\n")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
