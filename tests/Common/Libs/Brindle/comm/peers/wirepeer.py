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
import json
import os
import random
import socket
import struct
import sys
import zlib

# ---------------------------------------------------------------- Blowfish

_PI_WORDS = None


def _pi_words():
    """The first 18 + 1024 32-bit words of the fraction of pi."""
    global _PI_WORDS
    if _PI_WORDS is None:
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

        pi = 16 * atan_inv(5) - 4 * atan_inv(239)
        frac = (pi - (3 << bits)) >> 64
        _PI_WORDS = [(frac >> ((words - 1 - i) * 32)) & 0xFFFFFFFF for i in range(words)]
    return _PI_WORDS


class Blowfish:
    def __init__(self, key):
        if not key:
            raise ValueError("empty key")
        key = key[:56]
        w = _pi_words()
        self.p = list(w[:18])
        self.s = [list(w[18 + 256 * i:18 + 256 * (i + 1)]) for i in range(4)]
        k = 0
        for i in range(18):
            word = 0
            for _ in range(4):
                word = (word << 8) | key[k]
                k = (k + 1) % len(key)
            self.p[i] ^= word
        l = r = 0
        for i in range(0, 18, 2):
            l, r = self._enc(l, r)
            self.p[i], self.p[i + 1] = l, r
        for box in self.s:
            for i in range(0, 256, 2):
                l, r = self._enc(l, r)
                box[i], box[i + 1] = l, r

    def _f(self, x):
        s = self.s
        return ((((s[0][x >> 24] + s[1][(x >> 16) & 255]) & 0xFFFFFFFF) ^ s[2][(x >> 8) & 255]) + s[3][x & 255]) & 0xFFFFFFFF

    def _enc(self, l, r):
        for i in range(16):
            l ^= self.p[i]
            r ^= self._f(l)
            l, r = r, l
        l, r = r, l
        return l ^ self.p[17], r ^ self.p[16]

    def _dec(self, l, r):
        for i in range(17, 1, -1):
            l ^= self.p[i]
            r ^= self._f(l)
            l, r = r, l
        l, r = r, l
        return l ^ self.p[0], r ^ self.p[1]

    def ecb(self, data, decrypt=False):
        if len(data) == 0 or len(data) % 8:
            raise ValueError("length")
        out = bytearray()
        fn = self._dec if decrypt else self._enc
        for i in range(0, len(data), 8):
            l, r = struct.unpack(">II", data[i:i + 8])
            out += struct.pack(">II", *fn(l, r))
        return bytes(out)


# ------------------------------------------------------ message text form

SOH, STX, ETX, GS, RS, US = b"\x01", b"\x02", b"\x03", b"\x1d", b"\x1e", b"\x1f"


def build_record(rid, values):
    out = GS + rid
    for k, v in values:
        out += RS + k + US + v
    return out


def build_msg(header_id, header_values=(), records=()):
    out = SOH + build_record(header_id, header_values) + STX
    for rid, values in records:
        out += build_record(rid, values)
    return out + ETX


def parse_record(text):
    if not text.startswith(GS):
        raise ValueError("record without GS")
    parts = text[1:].split(RS)
    rid, values = parts[0], []
    for p in parts[1:]:
        k, sep, v = p.partition(US)
        if not sep:
            raise ValueError("value without US")
        values.append((k, v))
    return rid, values


def parse_msg(text):
    """(header id, header values, [(record id, values)])."""
    if not (text.startswith(SOH) and text.endswith(ETX)):
        raise ValueError("not a message")
    head, sep, rest = text[1:-1].partition(STX)
    if not sep:
        raise ValueError("no STX")
    hid, hvalues = parse_record(head)
    records = []
    if rest:
        if not rest.startswith(GS):
            raise ValueError("junk after STX")
        for piece in rest[1:].split(GS):
            records.append(parse_record(GS + piece))
    return hid, hvalues, records


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
    values = [(str(i).encode(), str(v).encode()) for i, v in enumerate(fields)]
    values.append((b"6", text))
    return b"MPACK", values


def mpack(data):
    body = zlib.compress(data)
    return mpack_record(len(data), 1, len(body), 0, 0, base64.b64encode(body))


def unmpack(record):
    rid, values = record
    if rid != b"MPACK":
        return None
    f = {k: v for k, v in values}
    num = lambda k: int(f.get(k, b"0") or b"0")
    text = f.get(b"6", b"")
    if len(text) != num(b"5"):
        return None
    try:
        body = base64.b64decode(text, validate=True)
    except Exception:
        return None
    if len(body) != num(b"2"):
        return None
    if num(b"3"):
        body = body[:-num(b"3")]
    data = zlib.decompress(body) if num(b"1") == 1 else body
    return data if len(data) == num(b"0") else None


# ------------------------------------------------------- Diffie-Hellman

def rand31():
    return int.from_bytes(os.urandom(4), "little") & 0x7FFFFFFF


def probable_prime(n):
    if n < 2:
        return False
    if n < 4:
        return True
    if n % 2 == 0:
        return False
    return all(pow(random.randint(2, n - 2), n - 1, n) == 1 for _ in range(5))


def next_prime(n):
    while not probable_prime(n):
        n += 2
    return n


class DH:
    def __init__(self):
        self.g = self.p = 0
        self.pub = [0] * 4
        self.priv = [0] * 4

    def new_group(self):
        a = b = 0
        while a == b:
            a = next_prime(rand31() | 1)
            b = next_prime(rand31() | 1)
        self.g, self.p = min(a, b), max(a, b)
        self.make_pairs()

    def make_pairs(self):
        for i in range(4):
            x = 0
            while x == 0 or pow(self.g, x, self.p) < 2:
                x = rand31()
            self.priv[i] = x
            self.pub[i] = pow(self.g, x, self.p)

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
        import subprocess
        args = ["openssl", "enc", "-des-ecb", "-provider", "legacy", "-provider", "default",
                "-K", key[:8].hex(), "-nopad"] + (["-d"] if decrypt else [])
        return subprocess.run(args, input=data, capture_output=True, check=True).stdout
    return data


# ----------------------------------------------------------------- frames

HDR = 32


def build_frame(ptype, method, data, key=b"", compress=False, encrypted=False):
    crc = zlib.crc32(data) if data else 0
    body = zlib.compress(data) if compress else data
    pad = 0
    if encrypted:
        pad = 32 - len(body) % 32
        body = encrypt(int(chr(method)), key, body + b" " * pad)
    head = bytearray(bytes([ptype, method]) + (b"1" if compress else b"0") + (b"1" if encrypted else b"0")
                     + b"\0 " + b"%02x%08x%08x%08x" % (pad, len(data), len(body) - pad, crc))
    x = 0
    for i, c in enumerate(head):
        if i != 4:
            x ^= c
    head[4] = x
    return bytes(head) + body


class FrameError(Exception):
    pass


def parse_frame(buf, key=b""):
    """(frame or None, bytes used)."""
    if len(buf) < HDR:
        return None, 0
    x = 0
    for i in range(HDR):
        if i != 4:
            x ^= buf[i]
    if x != buf[4]:
        raise FrameError("Bad header XOR")
    pad = int(buf[6:8], 16)
    uncompressed = int(buf[8:16], 16)
    blen = int(buf[16:24], 16)
    crc = int(buf[24:32], 16)
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
        self.sock = sock
        self.method = ord(method)
        self.buf = b""
        self.key = b""
        self.reset()

    def reset(self):
        self.state = self.WAIT
        self.dh = DH()
        self.test = b""

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

    def on_frame(self, frame):
        """Handshake steps; returns the payload of a data frame, else None."""
        t, m, data, enc = frame
        t = ord(t)
        if t == self.WAIT:
            log("reset notice")
            self.reset()
        elif self.state == self.WAIT and t == self.I_SYNC:
            self.dh.new_group()
            self.state = self.P_KEY
            self.send(self.P_KEY, self.dh.text())
        elif self.state == self.I_SYNC and t == self.P_KEY:
            self.method = ord(m)
            self.key = self.dh.shared_key(data)
            self.state = self.I_KEY
            self.send(self.I_KEY, self.dh.text())
        elif self.state == self.P_KEY and t == self.I_KEY:
            self.key = self.dh.shared_key(data)
            self.test = gen_key()
            self.state = self.P_TEST
            self.send(self.P_TEST, self.test, enc=self.encrypts())
        elif self.state == self.I_KEY and t == self.P_TEST:
            self.state = self.I_TEST
            self.send(self.I_TEST, data[::-1], enc=self.encrypts())
        elif self.state == self.P_TEST and t == self.I_TEST:
            if data[::-1] != self.test:
                raise FrameError("key test failed")
            self.send(self.P_HANDSHAKE)
            self.state = self.SECURE
            log("handshake ok")
        elif self.state == self.I_TEST and t == self.P_HANDSHAKE:
            self.state = self.SECURE
            log("handshake ok")
        elif self.state == self.SECURE and t == self.SECURE:
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


def run_channel(role, addr, opts):
    ch = Channel(open_socket(addr), opts.get("method", "1"))
    rounds = int(opts.get("rounds", "2"))
    count = int(opts.get("count", "3"))
    if role == "initiator":
        for rnd in range(rounds):
            ch.initiate()
            sent = 0
            got = 0
            for frame in ch.frames():
                payload = ch.on_frame(frame)
                if ch.state == ch.SECURE and sent == 0:
                    for i in range(count):
                        ch.send_data(b"ping %d.%d " % (rnd, i) + b"x" * (i * 700))
                    sent = count
                if payload is not None:
                    log("got", payload[:40].decode(errors="replace"), len(payload))
                    got += 1
                    if got == count:
                        break
            if got != count:
                raise FrameError("connection ended early")
        log("DONE")
    else:
        for frame in ch.frames():
            payload = ch.on_frame(frame)
            if payload is not None:
                log("got", payload[:40].decode(errors="replace"), len(payload))
                if payload == b"bye":
                    break
                ch.send_data(b"echo:" + payload)
        log("DONE")


class Msec:
    """One end of the message security layer over the message text form."""

    def __init__(self, sock, method, threshold):
        self.sock = sock
        self.cutter = MsgCutter()
        self.method = method
        self.threshold = threshold
        self.reset()

    def reset(self):
        self.state = 0
        self.key = b""
        self.dh = DH()
        self.test = gen_key()

    def send(self, hid, hvalues=(), records=()):
        self.sock.sendall(build_msg(hid, hvalues, records))

    def messages(self):
        while True:
            data = self.sock.recv(65536)
            if not data:
                return
            for text in self.cutter.feed(data):
                yield parse_msg(text)

    def cipher(self, data, decrypt=False):
        return encrypt(self.method, self.key, data, decrypt)

    def pack(self, text):
        compressed = len(text) > self.threshold
        body = zlib.compress(text) if compressed else text
        clen = len(body)
        pad = 32 - clen % 32
        body = self.cipher(body + b" " * pad)
        enc = 1 if self.method in (1, 2, 3, 4) else 0
        return mpack_record(len(text), 1 if compressed else 0, clen, pad, enc, base64.b64encode(body))

    def unpack(self, record):
        f = dict(record[1])
        num = lambda k: int(f.get(k, b"0") or b"0")
        body = base64.b64decode(f[b"6"], validate=True)
        if num(b"4") == 1:
            body = self.cipher(body, decrypt=True)
        if num(b"3"):
            body = body[:-num(b"3")]
        return zlib.decompress(body) if num(b"1") == 1 else body

    def initiate(self):
        self.reset()
        self.send(b"MSEC_INITIATE")
        self.state = 1

    def on_msg(self, msg):
        """Handshake steps; returns the application messages carried."""
        hid, hv, recs = msg
        h = dict(hv)
        if not hid.startswith(b"MSEC_"):
            if self.state == 7:
                raise ValueError("plain message after the handshake")
            return [msg]
        if hid == b"MSEC_PACK":
            return [parse_msg(self.unpack(r)) for r in recs]
        if self.state == 0 and hid == b"MSEC_INITIATE":
            self.reset()
            self.dh.new_group()
            self.send(b"MSEC_P_KEY_EXCH", [(b"Method", str(self.method).encode()), (b"DiffieHellman", self.dh.text())])
            self.state = 2
        elif self.state == 1 and hid == b"MSEC_P_KEY_EXCH":
            self.method = int(h[b"Method"])
            self.key = self.dh.shared_key(h[b"DiffieHellman"])
            self.send(b"MSEC_I_KEY_EXCH", [(b"DiffieHellman", self.dh.text())])
            self.state = 3
        elif self.state == 2 and hid == b"MSEC_I_KEY_EXCH":
            self.key = self.dh.shared_key(h[b"DiffieHellman"])
            self.send(b"MSEC_P_KEY_TEST", [(b"Magic", base64.b64encode(self.cipher(self.test)))])
            self.state = 4
        elif self.state == 3 and hid == b"MSEC_P_KEY_TEST":
            self.test = self.cipher(base64.b64decode(h[b"Magic"]), decrypt=True)[::-1]
            self.send(b"MSEC_I_KEY_TEST", [(b"Magic", base64.b64encode(self.cipher(self.test)))])
            self.state = 5
        elif self.state == 4 and hid == b"MSEC_I_KEY_TEST":
            if self.cipher(base64.b64decode(h[b"Magic"]), decrypt=True)[::-1] != self.test:
                raise ValueError("key test failed")
            self.send(b"MSEC_P_HANDSHAKE")
            self.state = 7
            log("handshake ok")
        elif self.state == 5 and hid == b"MSEC_P_HANDSHAKE":
            self.state = 7
            log("handshake ok")
        elif hid == b"MSEC_HANDSHAKE_FAILED":
            log("handshake failed")
            self.reset()
        else:
            log("unexpected", hid.decode(), "in state", self.state)
            self.reset()
            self.send(b"MSEC_HANDSHAKE_FAILED")
        return []

    def send_app(self, texts):
        """Sends application messages: packed once secure, else plain."""
        if self.state == 7:
            self.send(b"MSEC_PACK", records=[self.pack(t) for t in texts])
        else:
            for t in texts:
                self.sock.sendall(t)


def run_msec(role, addr, opts):
    m = Msec(open_socket(addr), int(opts.get("method", "1")), int(opts.get("threshold", "1024")))
    count = int(opts.get("count", "3"))
    if role == "initiator":
        m.send_app([build_msg(b"HELLO", [(b"Plain", b"1")])])
        m.initiate()
        got = 0
        for msg in m.messages():
            apps = m.on_msg(msg)
            if m.state == 7 and got == 0 and not apps and msg[0] in (b"MSEC_P_HANDSHAKE",):
                m.send_app([build_msg(b"PING", [(b"N", str(i).encode()), (b"Pad", b"y" * (i * 900))])
                            for i in range(count)])
            for hid, hv, recs in apps:
                log("got", hid.decode(), dict(hv).get(b"N", b"").decode())
                got += 1
            if got == count:
                break
        if got != count:
            raise ValueError("connection ended early")
        log("DONE")
    else:
        for msg in m.messages():
            for hid, hv, recs in m.on_msg(msg):
                log("got", hid.decode(), dict(hv).get(b"N", b"").decode())
                if hid == b"BYE":
                    log("DONE")
                    return
                m.send_app([build_msg(b"ECHO", hv, recs)])
        log("DONE")


# ---------------------------------------------------------------- compute

def compute(req):
    op = req["op"]
    h = lambda k: bytes.fromhex(req.get(k, ""))
    if op == "crc32":
        return {"crc": zlib.crc32(h("data"))}
    if op == "b64":
        return {"text": base64.b64encode(h("data")).decode()}
    if op == "mpack":
        rid, values = mpack(h("data"))
        return {"record": build_record(rid, values).hex()}
    if op == "unmpack":
        data = unmpack(parse_record(h("record")))
        return {"data": None if data is None else data.hex()}
    if op == "blowfish":
        return {"data": Blowfish(h("key")).ecb(h("data"), req.get("decrypt", False)).hex()}
    if op == "frame":
        return {"frame": build_frame(ord(req["type"]), ord(req["method"]), h("data"), req.get("key", "").encode(),
                                     req.get("compress", False), req.get("encrypt", False)).hex()}
    if op == "parseframe":
        try:
            frame, used = parse_frame(h("frame"), req.get("key", "").encode())
        except Exception as e:
            return {"error": str(e)}
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
    role, addr = sys.argv[2], sys.argv[3]
    opts = dict(a.split("=", 1) for a in sys.argv[4:])
    try:
        (run_channel if mode == "channel" else run_msec)(role, addr, opts)
    except Exception as e:
        log("FAIL", repr(e))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
