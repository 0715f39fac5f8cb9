#!/usr/bin/env python3
"""Builds page broadcast packets from their wire format, as a peer would.

Reads a JSON list of packet descriptions from the file named by argv[1] and
prints one line per packet: the packet bytes in hex ("" for none).
"""
import functools
import json
import sys
import time

STX, ETX, ESC = b"\x02", b"\x03", b"\x1b"


def close(body):
    """The packet with its ETX and LRC (the XOR of all after the STX)."""
    framed = body + ETX
    return framed + bytes([functools.reduce(lambda x, c: x ^ c, framed[1:], 0)])


num = lambda value, width: b"%0*d" % (width, value)
text = lambda value: value.encode("latin-1")
left = lambda value, width: text(value).ljust(width, b" ")
right = lambda value, width: text(value).rjust(width, b" ")
exact = lambda value, width: text(value)[:width].ljust(width, b" ")
gmt = lambda t: time.strftime("%H:%M:%S", time.gmtime(t)).encode()
local = lambda t: time.strftime("%H:%M:%S", time.localtime(t)).encode()


def build(p):
    kind = p["kind"]
    seq = text(p["seq"])
    codes = text(p["city"]) + text(p["bank"])
    t = p["time"]
    if kind == "heartbeat":
        return close(STX + b"%" + seq + b" " + text(p["bank"]))
    if kind == "load":
        out = STX + b"." + seq + b" " + (b"Y" if p["flag"] else b" ") + codes
        out += b" " * 6 + gmt(t) + b"01" + b"01" + num(p["code"], 2)
        out += left(p["security_id"], 12) + left(p["short_name"], 14) + b" " * 34
        out += right(p["function"], 4) + right(p["monitor_id"], 4)
        if p["maturity"]:
            out += b"MA" + num(p["color"], 2) + b"02" + b" " * 4 + num(p["number"], 4) + b" " * 4 + b" " * 39
        else:
            out += b"AA" + num(p["color"], 2) + b"02" + b" " * 4 + num(p["number"], 4) + num(p["page"], 4)
            out += b" " * 31 + num(p["row"], 2) + b" " * 6
        return close(out + b"  " + ESC)
    if kind == "clear":
        out = STX + b"." + seq + b"  " + codes + b" " * 6 + gmt(t) + b"01" + b"01"
        out += b" " * 28 + b" " * 34 + right(p["function"], 4) + right(p["monitor_id"], 4)
        out += b"DD" + b"  " + b"02" + b" " * 4 + num(p["number"], 4) + b" " * 4 + b" " * 38
        out += b"Y" if p["suppress"] else b" "
        return close(out + b"  " + ESC)
    if kind == "page":
        body = text(p["text"])[:160]
        out = STX + b"-" + seq + exact(p["contributor"], 2) + local(t) + b"05" + b" 1"
        out += exact(p["product"], 2) + num(p["page"], 5) + num(p["row"], 2) + num(p["column"], 2)
        out += num(len(body), 3) + exact(p["access"], 2) + exact(p["security_id"], 14) + b" " * 7 + body
        return close(out)
    if kind == "record":
        if not p["data"]:
            return b""
        out = STX + b'"' + seq + text(p["record_type"]) + codes + gmt(t) + text(p["id_type"])
        out += left(p["security_id"], 12) + num(len(p["data"]), 2)
        for code, value in p["data"]:
            out += text(code) + left(value, 14)
        return close(out + text(p["condition"]))
    raise ValueError(kind)


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        packets = json.load(f)
    for p in packets:
        print(build(p).hex())


if __name__ == "__main__":
    main()
