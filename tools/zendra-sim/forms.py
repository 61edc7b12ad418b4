"""Forms requests and their replies: the control block, the message area and
the standard parameter list."""

import struct

import zenbuf
from zenbuf import ZenBuf, T_CHAR, T_SHORT, T_STRING

CB_MIN = 128
CB_MAX = 156
MA_MAX = 9999

# name: (offset, size, kind) with kind s = text, i = int32, h = int16,
# b = byte, x = raw bytes
CB_FIELDS = {
    "default": (0, 8, "s"), "sysname": (8, 8, "s"), "wskind": (16, 4, "s"),
    "ident": (20, 8, "s"), "wait": (28, 4, "i"), "options": (32, 4, "i"),
    "index": (36, 2, "h"), "key": (39, 1, "b"), "key2": (45, 1, "b"),
    "xmode": (46, 1, "b"), "roll": (47, 1, "b"), "overlay": (48, 1, "b"),
    "align": (49, 1, "b"), "mode": (50, 1, "b"), "ret51": (51, 1, "b"),
    "msgdone": (52, 1, "b"), "routine": (53, 1, "b"), "sign": (54, 1, "b"),
    "decimal": (55, 1, "b"), "currency": (56, 1, "b"), "level": (57, 1, "b"),
    "orow": (73, 2, "h"), "ocol": (75, 2, "h"), "rows": (77, 2, "h"),
    "cols": (79, 2, "h"), "ret81": (81, 2, "h"), "ret83": (83, 2, "h"),
    "status": (85, 1, "b"), "crow": (86, 2, "h"), "ccol": (88, 2, "h"),
    "fmt": (90, 8, "s"), "ret98": (98, 1, "b"), "term": (99, 8, "s"),
    "ret108": (108, 1, "b"), "ret110": (110, 2, "h"),
    "fbuf": (112, 8, "x"), "crec": (120, 8, "x"),
    "date": (128, 6, "s"), "time": (134, 6, "s"),
}

# Message area offsets
MA_FMT, MA_KIND, MA_CAP, MA_STATUS, MA_FILL, MA_LEN, MA_TEXT = \
    0, 12, 14, 16, 17, 18, 20

# Codes whose request carries a control block in the standard form
REPLY_TAG = b"\0\0\0!\0\0\0\0"
AREA_D_TAG = b"\0\0\0%\0\0\0\0"


def to_bytes(v):
    if isinstance(v, bytes):
        return v
    return v.encode("latin-1")


def byte_value(v):
    """A byte from an int or a one-character text."""
    if isinstance(v, int):
        return v & 0xFF
    v = to_bytes(v)
    if len(v) == 1:
        return v[0]
    return int(v, 0) & 0xFF


def _number(v):
    if isinstance(v, bytes):
        v = v.decode("latin-1")
    return int(v, 0) if isinstance(v, str) else v


def cb_build(fields=None, length=CB_MIN):
    """A control block; unnamed bytes are 0."""
    cb = bytearray(max(length, CB_MIN))
    for name, value in (fields or {}).items():
        cb_set(cb, name, value)
    return bytes(cb)


def cb_set(cb, name, value):
    if name not in CB_FIELDS:
        raise ValueError("unknown control block field %r" % name)
    off, size, kind = CB_FIELDS[name]
    if off + size > len(cb):
        cb.extend(bytes(off + size - len(cb)))
    if kind == "s":
        cb[off:off + size] = to_bytes(value)[:size].ljust(size, b" ")
    elif kind == "x":
        cb[off:off + size] = to_bytes(value)[:size].ljust(size, b"\0")
    elif kind == "i":
        cb[off:off + size] = struct.pack(">I", _number(value) & 0xFFFFFFFF)
    elif kind == "h":
        cb[off:off + size] = struct.pack(">H", _number(value) & 0xFFFF)
    else:
        cb[off] = byte_value(value)


def cb_get(cb, name):
    off, size, kind = CB_FIELDS[name]
    raw = bytes(cb[off:off + size])
    if len(raw) < size:
        return None
    if kind == "i":
        return struct.unpack(">i", raw)[0]
    if kind == "h":
        return struct.unpack(">h", raw)[0]
    if kind == "b":
        return raw[0]
    return raw


def ma_build(fmt=b"", text=b"", kind=b" ", status=b" ", fill=b"_",
             capacity=None):
    """A message area: format name, output kind, capacity, status, fill
    character, text length and text."""
    text = to_bytes(text)
    cap = len(text) if capacity is None else capacity
    ma = bytearray(b" " * MA_TEXT)
    ma[MA_FMT:MA_FMT + 8] = to_bytes(fmt)[:8].upper().ljust(8, b" ")
    ma[MA_KIND] = byte_value(kind)
    ma[13] = 0
    ma[MA_CAP:MA_CAP + 2] = struct.pack(">H", cap & 0xFFFF)
    ma[MA_STATUS] = byte_value(status)
    ma[MA_FILL] = byte_value(fill)
    ma[MA_LEN:MA_LEN + 2] = struct.pack(">H", len(text) & 0xFFFF)
    return bytes(ma) + text


def ma_fields(ma):
    """Decoded message area; a short area gives what is there."""
    ma = bytes(ma)
    out = {"fmt": ma[0:8]}
    if len(ma) >= 20:
        n = struct.unpack(">h", ma[MA_LEN:MA_LEN + 2])[0]
        out.update(kind=ma[MA_KIND], cap=struct.unpack(
            ">h", ma[MA_CAP:MA_CAP + 2])[0], status=ma[MA_STATUS],
            fill=ma[MA_FILL], textlen=n,
            text=ma[MA_TEXT:MA_TEXT + max(n, 0)])
    return out


def forms_request(func, fmt=b"", text=b"", cb=None, area_a=b"", area_b=b"",
                  area_c=b"", status=b" ", count=1, area_d=None, pre=(),
                  ma=None, sub=0, routing=(0, 0, 0, 0)):
    """A forms request in the standard form: optional leading message
    parameters, the tag, control block, message area, areas A, B, C, status
    character, trailing count, and area D when given."""
    buf = ZenBuf(func, sub, pri=routing[0], p=routing[1], q=routing[2],
                 seg=routing[3])
    pre = [to_bytes(p) for p in pre]
    if pre:
        for p in pre:
            buf.add_string(p)
        if area_d is not None and (len(pre[0]) < 4 or pre[0][3:4] != b"%"):
            raise ValueError("area D needs '%' as fourth byte of the first "
                             "parameter")
    # with leading message parameters this is parameter n-7, not read
    buf.add_string(AREA_D_TAG if area_d is not None else REPLY_TAG)
    buf.add_string(cb if cb is not None else cb_build())
    buf.add_string(ma if ma is not None else ma_build(fmt, text))
    buf.add_string(to_bytes(area_a))
    buf.add_string(to_bytes(area_b))
    buf.add_string(to_bytes(area_c))
    buf.add_char(byte_value(status))
    buf.add_short(count)
    if area_d is not None:
        buf.add_string(to_bytes(area_d))
    return buf


class Reply:
    """Named views of a reply: the standard forms reply shape when present,
    else the first long-enough String as message area."""

    def __init__(self, buf, ma_param=None):
        self.buf = buf
        self.std = None
        ps = buf.params
        n = len(ps)
        if (n >= 8 and ps[-1][0] == T_SHORT and ps[-2][0] == T_CHAR
                and all(p[0] == T_STRING for p in ps[-8:-2])):
            self.std = n - 8
        self.ma_index = ma_param
        if self.ma_index is None:
            if self.std is not None:
                self.ma_index = self.std + 3
            elif buf.func == 18 and n >= 1:
                self.ma_index = 1
            else:
                for i, (t, v) in enumerate(ps, 1):
                    if t == T_STRING and len(v) >= 20:
                        self.ma_index = i
                        break

    def _std(self, k):
        if self.std is None:
            raise ValueError("reply %s is not a standard forms reply"
                             % self.buf.describe())
        return self.buf.params[self.std + k - 1][1]

    def get(self, key):
        b = self.buf
        if key == "func":
            return b.func
        if key in ("sub", "pri", "p", "q", "seg"):
            return getattr(b, key)
        if key == "prm":
            return len(b.params)
        if key[0] == "p" and key[1:].isdigit():
            p = b.param(int(key[1:]))
            if p is None:
                raise ValueError("reply has no parameter %s" % key[1:])
            return p[1]
        if key == "tag":
            return self._std(1)
        if key == "cb":
            return self._std(2)
        if key == "cblen":
            return len(self._std(2))
        if key.startswith("cb."):
            return cb_get(self._std(2), key[3:])
        if key == "areaa":
            return self._std(4)
        if key == "areab":
            return self._std(5)
        if key == "areac":
            return self._std(6)
        if key == "status":
            return self._std(7)
        if key == "count":
            return self._std(8)
        if key == "ma":
            return self._ma()
        if key in ("fmt", "text", "textlen") or key.startswith("ma."):
            f = ma_fields(self._ma())
            name = key[3:] if key.startswith("ma.") else key
            if name not in f:
                raise ValueError("message area has no %s" % name)
            return f[name]
        raise ValueError("unknown reply field %r" % key)

    def _ma(self):
        if self.ma_index is None:
            raise ValueError("reply %s has no message area"
                             % self.buf.describe())
        t, v = self.buf.param(self.ma_index)
        if t != T_STRING:
            raise ValueError("parameter %d is not a String" % self.ma_index)
        return v
