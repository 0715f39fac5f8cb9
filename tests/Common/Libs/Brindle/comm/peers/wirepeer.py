#!/usr/bin/env python3
"""A peer of the library's message wire formats, written from the formats
alone with the standard library: the message text form, MPACK records,
framed secure channel frames with their Diffie-Hellman handshake, and the
message security handshake with its packed bundles.

Blowfish is not in the standard library, so it is here, with its tables
computed from the digits of pi.

Modes:
  compute                  JSON requests on stdin, one answer line each
  channel ROLE ADDR OPTS   framed channel over TCP
  msec ROLE ADDR OPTS      message security over TCP
ROLE is initiator or responder; ADDR is "listen" (prints "PORT n") or a
port to connect to on 127.0.0.1.
"""
import base64
import functools
import itertools
import json
import os
import random
import socket
import struct
import subprocess
import sys
import zlib

# ---------------------------------------------------------------- Blowfish


@functools.lru_cache(None)
def pi_words():
    """The first 18 + 1024 32-bit words of the fraction of pi (Machin)."""
    words = 18 + 4 * 256
    bits = words * 32 + 64

    def atan_inv(x):
        total = term = (1 << bits) // x
        n, sign = 1, -1
        while term:
            term //= x * x
            n += 2
            total += sign * (term // n)
            sign = -sign
        return total

    frac = (16 * atan_inv(5) - 4 * atan_inv(239) - (3 << bits)) >> 64
    return [(frac >> ((words - 1 - i) * 32)) & 0xFFFFFFFF for i in range(words)]


class Blowfish:
    def __init__(self, key):
        if not key:
            raise ValueError("empty key")
        key, w = key[:56], pi_words()
        self.p, self.s = list(w[:18]), [list(w[18 + 256 * i:274 + 256 * i]) for i in range(4)]
        cycle = itertools.cycle(key)
        for i in range(18):
            self.p[i] ^= int.from_bytes(bytes(next(cycle) for _ in range(4)), "big")
        l = r = 0
        for table in [self.p] + self.s:
            for i in range(0, len(table), 2):
                l, r = table[i], table[i + 1] = self._rounds(l, r, range(18))

    def _f(self, x):
        s = self.s
        return ((((s[0][x >> 24] + s[1][(x >> 16) & 255]) & 0xFFFFFFFF) ^ s[2][(x >> 8) & 255]) + s[3][x & 255]) & 0xFFFFFFFF

    def _rounds(self, l, r, order):
        """Sixteen rounds under the subkeys in `order` (reversed decrypts)."""
        for i in order[:16]:
            l ^= self.p[i]
            r ^= self._f(l)
            l, r = r, l
        return r ^ self.p[order[17]], l ^ self.p[order[16]]

    def ecb(self, data, decrypt=False):
        if len(data) == 0 or len(data) % 8:
            raise ValueError("length")
        order = range(17, -1, -1) if decrypt else range(18)
        return b"".join(struct.pack(">II", *self._rounds(*struct.unpack(">II", data[i:i + 8]), order))
                        for i in range(0, len(data), 8))


# ------------------------------------------------------ message text form

SOH, STX, ETX, GS, RS, US = b"\x01", b"\x02", b"\x03", b"\x1d", b"\x1e", b"\x1f"


def build_record(rid, values):
    return GS + rid + b"".join(RS + k + US + v for k, v in values)


def build_msg(header_id, header_values=(), records=()):
    return SOH + build_record(header_id, header_values) + STX + b"".join(build_record(*r) for r in records) + ETX


def parse_record(text):
    if not text.startswith(GS):
        raise ValueError("record without GS")
    parts = text[1:].split(RS)
    values = [p.partition(US) for p in parts[1:]]
    if any(not sep for _, sep, _ in values):
        raise ValueError("value without US")
    return parts[0], [(k, v) for k, _, v in values]


def parse_msg(text):
    """(header id, header values, [(record id, values)])."""
    if not (text.startswith(SOH) and text.endswith(ETX)):
        raise ValueError("not a message")
    head, sep, rest = text[1:-1].partition(STX)
    if not sep:
        raise ValueError("no STX")
    if rest and not rest.startswith(GS):
        raise ValueError("junk after STX")
    return parse_record(head) + ([parse_record(GS + piece) for piece in rest[1:].split(GS)] if rest else [],)


class MsgCutter:
    """Cuts a byte stream into message texts: SOH ... ETX."""

    def __init__(self):
        self.buf = b""

    def feed(self, data):
        self.buf += data
        out = []
        while True:
            end = self.buf.find(ETX)
            if end < 0:
                start = self.buf.rfind(SOH)
                self.buf = self.buf[start:] if start >= 0 else b""
                return out
            start = self.buf.rfind(SOH, 0, end)
            if start >= 0:
                out.append(self.buf[start:end + 1])
            self.buf = self.buf[end + 1:]


# ------------------------------------------------------------------ MPACK

def mpack_record(size, compression, compressed_size, packing, encrypt, text):
    fields = [size, compression, compressed_size, packing, encrypt, len(text)]
    return b"MPACK", [(str(i).encode(), str(v).encode()) for i, v in enumerate(fields)] + [(b"6", text)]


def mpack(data):
    body = zlib.compress(data)
    return mpack_record(len(data), 1, len(body), 0, 0, base64.b64encode(body))


def unpack_body(fields, cipher=None):
    """The data of an MPACK record's fields, or None when a size disagrees."""
    num = lambda k: int(fields.get(k, b"0") or b"0")
    text = fields.get(b"6", b"")
    if cipher is None and len(text) != num(b"5"):
        return None
    try:
        body = base64.b64decode(text, validate=True)
    except Exception:
        return None
    if cipher is None and len(body) != num(b"2"):
        return None
    if cipher is not None and num(b"4") == 1:
        body = cipher(body, decrypt=True)
    if num(b"3"):
        body = body[:-num(b"3")]
    data = zlib.decompress(body) if num(b"1") == 1 else body
    return data if cipher is not None or len(data) == num(b"0") else None


def unmpack(record):
    return unpack_body(dict(record[1])) if record[0] == b"MPACK" else None


# ------------------------------------------------------- Diffie-Hellman

def rand31():
    return int.from_bytes(os.urandom(4), "little") & 0x7FFFFFFF


def probable_prime(n):
    if n < 4:
        return n >= 2
    return n % 2 == 1 and all(pow(random.randint(2, n - 2), n - 1, n) == 1 for _ in range(5))


def next_prime(n):
    while not probable_prime(n):
        n += 2
    return n


class DH:
    def __init__(self):
        self.g = self.p = 0
        self.pub, self.priv = [0] * 4, [0] * 4

    def new_group(self):
        a = b = 0
        while a == b:
            a, b = next_prime(rand31() | 1), next_prime(rand31() | 1)
        self.g, self.p = min(a, b), max(a, b)
        self.make_pairs()

    def make_pairs(self):
        for i in range(4):
            x = 0
            while x == 0 or pow(self.g, x, self.p) < 2:
                x = rand31()
            self.priv[i], self.pub[i] = x, pow(self.g, x, self.p)

    def text(self):
        return " ".join("%08x" % v for v in [self.g, self.p] + self.pub).encode()

    def shared_key(self, peer_text):
        vals = [int(t, 16) for t in peer_text.split()]
        if len(vals) != 6:
            raise ValueError("bad DH text")
        g, p, pubs = vals[0], vals[1], vals[2:]
        if self.p == 0:
            self.g, self.p = g, p
            self.make_pairs()
        elif (g, p) != (self.g, self.p):
            raise ValueError("group mismatch")
        return "".join("%08x" % pow(pubs[i], self.priv[i], p) for i in range(4)).encode()


def gen_key():
    return "".join("%08x" % rand31() for _ in range(4)).encode()


# ------------------------------------------------------- channel ciphers

def encrypt(method, key, data, decrypt=False):
    """The channel and message-security ciphers by method; methods 2-4
    (DES-ECB under the key's first 8 bytes) go through the openssl tool."""
    if method == 1:
        return Blowfish(key).ecb(data, decrypt)
    if method in (2, 3, 4):
        args = ["openssl", "enc", "-des-ecb", "-provider", "legacy", "-provider", "default",
                "-K", key[:8].hex(), "-nopad"] + (["-d"] if decrypt else [])
        return subprocess.run(args, input=data, capture_output=True, check=True).stdout
    return data


# ----------------------------------------------------------------- frames

HDR = 32


def check_byte(head):
    """The XOR of the header's bytes but the check byte (4) itself."""
    return functools.reduce(lambda x, c: x ^ c, head[:4] + head[5:HDR], 0)


def build_frame(ptype, method, data, key=b"", compress=False, encrypted=False):
    crc = zlib.crc32(data) if data else 0
    body = zlib.compress(data) if compress else data
    pad = 0
    if encrypted:
        pad = 32 - len(body) % 32
        body = encrypt(int(chr(method)), key, body + b" " * pad)
    head = bytearray(bytes([ptype, method]) + (b"1" if compress else b"0") + (b"1" if encrypted else b"0")
                     + b"\0 " + b"%02x%08x%08x%08x" % (pad, len(data), len(body) - pad, crc))
    head[4] = check_byte(head)
    return bytes(head) + body


class FrameError(Exception):
    pass


def parse_frame(buf, key=b""):
    """(frame or None, bytes used)."""
    if len(buf) < HDR:
        return None, 0
    if check_byte(buf) != buf[4]:
        raise FrameError("Bad header XOR")
    pad, uncompressed, blen, crc = (int(buf[a:b], 16) for a, b in ((6, 8), (8, 16), (16, 24), (24, 32)))
    total = HDR + blen + pad
    if len(buf) < total:
        return None, 0
    payload = buf[HDR:total]
    if buf[3:4] == b"1":
        payload = encrypt(int(chr(buf[1])), key, payload, decrypt=True)
    payload = payload[:blen]
    if buf[2:3] == b"1":
        payload = zlib.decompress(payload)
    if len(payload) != uncompressed or (zlib.crc32(payload) if payload else 0) != crc:
        raise FrameError("Bad CRC")
    return (chr(buf[0]), chr(buf[1]), payload, buf[3:4] == b"1"), total


# ------------------------------------------------------------ TCP roles

def log(*args):
    print(*args, flush=True)


def open_socket(addr):
    if addr == "listen":
        srv = socket.socket()
        srv.bind(("127.0.0.1", 0))
        srv.listen(1)
        log("PORT", srv.getsockname()[1])
        conn, _ = srv.accept()
        srv.close()
    else:
        conn = socket.create_connection(("127.0.0.1", int(addr)))
    conn.settimeout(60)
    return conn


class Channel:
    """One end of the framed channel."""

    P_HANDSHAKE, WAIT, P_KEY, I_KEY, P_TEST, I_TEST, I_SYNC, SECURE = 2, 3, 6, 18, 19, 20, 22, 28

    def __init__(self, sock, method):
        self.sock, self.method, self.buf, self.key = sock, ord(method), b"", b""
        self.reset()

    def reset(self):
        self.state, self.dh, self.test = self.WAIT, DH(), b""

    def send(self, ptype, data=b"", enc=False, method=None, compress=False):
        self.sock.sendall(build_frame(ptype, method or self.method, data, self.key, compress, enc))

    def frames(self):
        while True:
            frame, used = parse_frame(self.buf, self.key)
            if frame:
                self.buf = self.buf[used:]
                yield frame
                continue
            data = self.sock.recv(65536)
            if not data:
                return
            self.buf += data

    def initiate(self):
        if self.state != self.WAIT:
            self.send(self.WAIT, method=ord("0"))
        self.reset()
        self.state = self.I_SYNC
        self.send(self.I_SYNC)

    def step(self, state, ptype, data=b"", enc=False):
        self.state = state
        self.send(ptype, data, enc)

    def on_frame(self, frame):
        """Handshake steps; returns the payload of a data frame, else None."""
        t, m, data, enc = frame
        t, s = ord(t), self.state
        if t == self.WAIT:
            log("reset notice")
            self.reset()
        elif (s, t) == (self.WAIT, self.I_SYNC):
            self.dh.new_group()
            self.step(self.P_KEY, self.P_KEY, self.dh.text())
        elif (s, t) == (self.I_SYNC, self.P_KEY):
            self.method, self.key = ord(m), self.dh.shared_key(data)
            self.step(self.I_KEY, self.I_KEY, self.dh.text())
        elif (s, t) == (self.P_KEY, self.I_KEY):
            self.key, self.test = self.dh.shared_key(data), gen_key()
            self.step(self.P_TEST, self.P_TEST, self.test, self.encrypts())
        elif (s, t) == (self.I_KEY, self.P_TEST):
            self.step(self.I_TEST, self.I_TEST, data[::-1], self.encrypts())
        elif (s, t) in ((self.P_TEST, self.I_TEST), (self.I_TEST, self.P_HANDSHAKE)):
            if s == self.P_TEST:
                if data[::-1] != self.test:
                    raise FrameError("key test failed")
                self.send(self.P_HANDSHAKE)
            self.state = self.SECURE
            log("handshake ok")
        elif (s, t) == (self.SECURE, self.SECURE):
            if self.encrypts() and not enc:
                raise FrameError("plain data frame")
            return data
        else:
            raise FrameError("unexpected frame %d in state %d" % (t, self.state))
        return None

    def encrypts(self):
        return chr(self.method) in "1234"

    def send_data(self, data):
        self.send(self.SECURE, data, enc=self.encrypts(), compress=len(data) > 1024)


def got(payload):
    log("got", payload[:40].decode(errors="replace"), len(payload))


def run_channel(role, addr, opts):
    ch = Channel(open_socket(addr), opts.get("method", "1"))
    count = int(opts.get("count", "3"))
    if role != "initiator":
        for payload in (p for p in map(ch.on_frame, ch.frames()) if p is not None):
            got(payload)
            if payload == b"bye":
                break
            ch.send_data(b"echo:" + payload)
        return
    for rnd in range(int(opts.get("rounds", "2"))):
        ch.initiate()
        sent = received = 0
        for frame in ch.frames():
            payload = ch.on_frame(frame)
            if ch.state == ch.SECURE and not sent:
                for i in range(count):
                    ch.send_data(b"ping %d.%d " % (rnd, i) + b"x" * (i * 700))
                sent = count
            if payload is not None:
                got(payload)
                received += 1
                if received == count:
                    break
        if received != count:
            raise FrameError("connection ended early")


class Msec:
    """One end of the message security layer over the message text form."""

    SECURE = 7

    def __init__(self, sock, method, threshold):
        self.sock, self.cutter, self.method, self.threshold = sock, MsgCutter(), method, threshold
        self.reset()

    def reset(self):
        self.state, self.key, self.dh, self.test = 0, b"", DH(), gen_key()

    def send(self, hid, hvalues=(), records=()):
        self.sock.sendall(build_msg(hid, hvalues, records))

    def messages(self):
        while True:
            data = self.sock.recv(65536)
            if not data:
                return
            yield from map(parse_msg, self.cutter.feed(data))

    def cipher(self, data, decrypt=False):
        return encrypt(self.method, self.key, data, decrypt)

    def magic(self, text):
        return [(b"Magic", base64.b64encode(self.cipher(text)))]

    def unmagic(self, h):
        return self.cipher(base64.b64decode(h[b"Magic"]), decrypt=True)[::-1]

    def pack(self, text):
        compressed = len(text) > self.threshold
        body = zlib.compress(text) if compressed else text
        pad = 32 - len(body) % 32
        return mpack_record(len(text), int(compressed), len(body), pad, int(self.method in (1, 2, 3, 4)),
                            base64.b64encode(self.cipher(body + b" " * pad)))

    def initiate(self):
        self.reset()
        self.send(b"MSEC_INITIATE")
        self.state = 1

    def step(self, state, hid, values=()):
        self.send(hid, values)
        self.state = state

    def on_msg(self, msg):
        """Handshake steps; returns the application messages carried."""
        hid, hv, recs = msg
        h, s = dict(hv), self.state
        if not hid.startswith(b"MSEC_"):
            if s == self.SECURE:
                raise ValueError("plain message after the handshake")
            return [msg]
        if hid == b"MSEC_PACK":
            return [parse_msg(unpack_body(dict(r[1]), self.cipher)) for r in recs]
        if (s, hid) == (0, b"MSEC_INITIATE"):
            self.reset()
            self.dh.new_group()
            self.step(2, b"MSEC_P_KEY_EXCH", [(b"Method", str(self.method).encode()), (b"DiffieHellman", self.dh.text())])
        elif (s, hid) == (1, b"MSEC_P_KEY_EXCH"):
            self.method, self.key = int(h[b"Method"]), self.dh.shared_key(h[b"DiffieHellman"])
            self.step(3, b"MSEC_I_KEY_EXCH", [(b"DiffieHellman", self.dh.text())])
        elif (s, hid) == (2, b"MSEC_I_KEY_EXCH"):
            self.key = self.dh.shared_key(h[b"DiffieHellman"])
            self.step(4, b"MSEC_P_KEY_TEST", self.magic(self.test))
        elif (s, hid) == (3, b"MSEC_P_KEY_TEST"):
            self.test = self.unmagic(h)
            self.step(5, b"MSEC_I_KEY_TEST", self.magic(self.test))
        elif (s, hid) in ((4, b"MSEC_I_KEY_TEST"), (5, b"MSEC_P_HANDSHAKE")):
            if s == 4:
                if self.unmagic(h) != self.test:
                    raise ValueError("key test failed")
                self.send(b"MSEC_P_HANDSHAKE")
            self.state = self.SECURE
            log("handshake ok")
        elif hid == b"MSEC_HANDSHAKE_FAILED":
            log("handshake failed")
            self.reset()
        else:
            log("unexpected", hid.decode(), "in state", s)
            self.reset()
            self.send(b"MSEC_HANDSHAKE_FAILED")
        return []

    def send_app(self, texts):
        """Sends application messages: packed once secure, else plain."""
        if self.state == self.SECURE:
            self.send(b"MSEC_PACK", records=[self.pack(t) for t in texts])
        else:
            self.sock.sendall(b"".join(texts))


def run_msec(role, addr, opts):
    m = Msec(open_socket(addr), int(opts.get("method", "1")), int(opts.get("threshold", "1024")))
    count = int(opts.get("count", "3"))
    if role == "initiator":
        m.send_app([build_msg(b"HELLO", [(b"Plain", b"1")])])
        m.initiate()
    received = 0
    for msg in m.messages():
        apps = m.on_msg(msg)
        if role == "initiator" and not received and msg[0] == b"MSEC_P_HANDSHAKE" and m.state == m.SECURE:
            m.send_app([build_msg(b"PING", [(b"N", str(i).encode()), (b"Pad", b"y" * (i * 900))])
                        for i in range(count)])
        for hid, hv, recs in apps:
            log("got", hid.decode(), dict(hv).get(b"N", b"").decode())
            received += 1
            if role != "initiator":
                if hid == b"BYE":
                    return
                m.send_app([build_msg(b"ECHO", hv, recs)])
        if role == "initiator" and received == count:
            return
    if role == "initiator":
        raise ValueError("connection ended early")


# ---------------------------------------------------------------- compute

def compute(req):
    op = req["op"]
    h = lambda k: bytes.fromhex(req.get(k, ""))
    key = req.get("key", "").encode()
    if op == "crc32":
        return {"crc": zlib.crc32(h("data"))}
    if op == "b64":
        return {"text": base64.b64encode(h("data")).decode()}
    if op == "mpack":
        return {"record": build_record(*mpack(h("data"))).hex()}
    if op == "unmpack":
        data = unmpack(parse_record(h("record")))
        return {"data": None if data is None else data.hex()}
    if op == "blowfish":
        return {"data": Blowfish(h("key")).ecb(h("data"), req.get("decrypt", False)).hex()}
    if op == "frame":
        return {"frame": build_frame(ord(req["type"]), ord(req["method"]), h("data"), key,
                                     req.get("compress", False), req.get("encrypt", False)).hex()}
    if op == "parseframe":
        frame, used = parse_frame(h("frame"), key)  # a failed check answers as an error
        if frame is None:
            return {"incomplete": True}
        return {"type": frame[0], "method": frame[1], "data": frame[2].hex(), "encrypted": frame[3], "used": used}
    if op == "msg":
        return {"text": build_msg(h("id"), [(bytes.fromhex(k), bytes.fromhex(v)) for k, v in req.get("values", [])]).hex()}
    if op == "dh":
        return {"value": pow(req["y"], req["x"], req["p"])}
    raise ValueError("unknown op " + op)


def main():
    mode = sys.argv[1]
    if mode == "compute":
        for line in sys.stdin:
            try:
                answer = compute(json.loads(line))
            except Exception as e:
                answer = {"error": repr(e)}
            print(json.dumps(answer), flush=True)
        return 0
    try:
        (run_channel if mode == "channel" else run_msec)(sys.argv[2], sys.argv[3],
                                                         dict(a.split("=", 1) for a in sys.argv[4:]))
    except Exception as e:
        log("FAIL", repr(e))
        return 1
    log("DONE")
    return 0


if __name__ == "__main__":
    sys.exit(main())
