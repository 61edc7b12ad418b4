"""Screen format library: a readable text form compiled into the 48-byte
format header, the item stream and the optional help table.

    format NAME
      firstrow 1
      cursor 2 10
      row "Name:" field alnum 10 " Age:" field num 3 prot
      row
      help sys=SYSHELP screen=SCRHELP keys=1,2,3
      fieldhelp 1 6 NAMEHELP
    end
"""

import os
import re
import struct

import zenbuf

LIBRARY = b"ZEN$Y$  "
REPLY_MAX = 2828          # what the workstation reads for one format reply
FMT_REPLY = 199           # dFfmtReply

DATA_KINDS = {
    "alnumup": 1, "alnum": 2, "cont": 3, "alpha": 4, "rup": 5, "right": 6,
    "ralpha": 7, "numleft": 8, "num": 9, "numz": 10, "numzl": 11, "mask": 12,
}
SYS_KINDS = {
    "date": 6, "mdate": 7, "time": 8, "ident": 9, "wskind": 10,
    "fmtname": 11, "sysname": 12, "ddate": 13,
}

_TOKEN = re.compile(r'\s*(?:"((?:[^"\\]|\\.)*)"|(\S+))')


class FormatError(ValueError):
    pass


def unescape(text):
    """Backslash escapes of quoted texts: \\e \\r \\n \\t \\\\ \\" \\xHH."""
    out = bytearray()
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "x" and i + 3 < len(text) + 1:
                out.append(int(text[i + 2:i + 4], 16))
                i += 4
                continue
            out += {"e": b"\x1b", "r": b"\r", "n": b"\n", "t": b"\t",
                    "0": b"\0"}.get(n, n.encode("latin-1"))
            i += 2
            continue
        out += c.encode("latin-1")
        i += 1
    return bytes(out)


def tokenize(line):
    """Tokens as (is_quoted, text); key="value" keeps its quotes unescaped
    in the value."""
    toks = []
    pos = 0
    line = line.rstrip("\n")
    while True:
        m = _TOKEN.match(line, pos)
        if not m or m.end() == pos:
            break
        pos = m.end()
        if m.group(1) is not None:
            toks.append((True, unescape(m.group(1))))
        else:
            word = m.group(2)
            if word.startswith("#"):
                break
            # key="quoted value"
            if "=" in word and word.split("=", 1)[1].startswith('"'):
                key, rest = word.split("=", 1)
                mm = re.match(r'"((?:[^"\\]|\\.)*)"',
                              line[m.start(2) + len(key) + 1:])
                if not mm:
                    raise FormatError("unterminated quote in %r" % line)
                pos = m.start(2) + len(key) + 1 + mm.end()
                toks.append((False, (key, unescape(mm.group(1)))))
                continue
            toks.append((False, word))
    return toks


def _kv(word):
    if isinstance(word, tuple):
        return word[0], word[1]
    if "=" in word:
        k, v = word.split("=", 1)
        return k, v.encode("latin-1")
    return word, None


def _num(v):
    if isinstance(v, bytes):
        v = v.decode("latin-1")
    return int(v, 0)


class Format:
    def __init__(self, name):
        self.name = name.upper()[:8]
        self.options = 0
        self.first_row = 1
        self.cursor = (1, 1)
        self.ma_data = None
        self.area_a = None
        self.stamp = None
        self.ocount16 = False
        self.noheader = False
        self.rows = []            # list of token lists
        self.help = None          # (sys, screen, keys)
        self.field_help = []      # (row, col, name)
        self.raw = None           # precompiled bytes

    # --- compilation ---------------------------------------------------
    def compile(self):
        if self.raw is not None:
            return self.raw
        st = _Stream()
        for toks, rep in self.rows:
            st.row(toks, rep)
        stream = bytes(st.out)
        hdr = bytearray(48)
        total = sum(_round4(f[0]) for f in st.fields)
        nodata = sum(_round4(f[0]) for f in st.fields if f[2])
        prot = sum(_round4(f[0]) for f in st.fields if f[1])
        madata = total if self.ma_data is None else self.ma_data
        if not self.noheader:
            struct.pack_into(">H", hdr, 0, total)
            hdr[2] = 0
            struct.pack_into(">H", hdr, 4, total - nodata)
            struct.pack_into(">H", hdr, 6, total - prot)
            hdr[8] = st.nrows & 0xFF
            hdr[9] = st.ncols & 0xFF
            struct.pack_into(">H", hdr, 10, len(st.fields))
        hdr[12:20] = LIBRARY
        hdr[20:28] = self.name.encode("latin-1").ljust(8, b" ")
        hdr[28] = self.options & 0xFF
        hdr[29] = (self.options >> 8) & 0xFF
        hdr[30] = (self.options >> 16) & 0xFF
        hdr[31] = self.first_row & 0xFF
        hdr[32] = self.cursor[0] & 0xFF
        hdr[33] = self.cursor[1] & 0xFF
        struct.pack_into(">H", hdr, 34, madata & 0xFFFF)
        area_a = st.area_a if self.area_a is None else self.area_a
        struct.pack_into(">H", hdr, 36, area_a & 0xFFFF)
        struct.pack_into(">H", hdr, 38, len(stream))
        if self.stamp:
            hdr[40:48] = _stamp(self.stamp)
        out = bytes(hdr) + stream
        if self.help is not None or self.field_help:
            out += self._help_table()
        self.info = dict(total=total, output=total - nodata,
                         input=total - prot, rows=st.nrows, cols=st.ncols,
                         fields=len(st.fields), area_a=area_a,
                         stream=len(stream))
        return out

    def _help_table(self):
        sys_name, scr_name, keys = self.help or (b"", b"", (0, 0, 0))
        t = bytearray(40)
        t[0] = ord("J")
        t[2], t[3], t[4] = keys
        t[8:16] = sys_name[:8].ljust(8, b"\0")
        t[16:24] = scr_name[:8].ljust(8, b"\0")
        struct.pack_into(">H", t, 38, len(self.field_help))
        for row, col, name in self.field_help:
            t += bytes((row & 0xFF, col & 0xFF)) + name[:8].ljust(8, b" ")
        return bytes(t)


def _round4(n):
    return (n + 3) & ~3


def _stamp(text):
    m = re.match(r"(\d{4})-(\d\d)-(\d\d)(?:[ T](\d\d):(\d\d):(\d\d))?$",
                 text.strip())
    if not m:
        raise FormatError("bad stamp %r (YYYY-MM-DD HH:MM:SS)" % text)
    y, mo, d = int(m[1]), int(m[2]), int(m[3])
    h, mi, s = (int(m[4] or 0), int(m[5] or 0), int(m[6] or 0))
    w0 = ((y - 1970) & 0xFF) | (mo & 0xF) << 8 | (d & 0x1F) << 16 \
        | (h & 0x1F) << 24
    w1 = (mi & 0x3F) | (s & 0x3F) << 8
    return struct.pack("<II", w0, w1)


class _Stream:
    """Item stream builder; item words are little-endian."""

    def __init__(self):
        self.out = bytearray()
        self.fields = []      # (length, protected, nodata)
        self.nrows = 0
        self.ncols = 0
        self.area_a = 0
        self.col = 0
        self.pending_cont = 0

    def display(self, kind, length=0, prot=False, tab=False, color=0,
                b2=None, text=b""):
        b1 = (kind & 0xF) | 0x10 | (0x40 if tab else 0) | (0x80 if prot
                                                         else 0)
        b2v = (color & 0xF) if b2 is None else b2
        self.out += bytes((length & 0x7F, b1, b2v & 0xFF)) + text
        if kind == 0 and length:
            self.out.append(0)

    def row(self, toks, rep):
        self.col = 0
        groups = []
        i = 0
        while i < len(toks):
            quoted, word = toks[i]
            i += 1
            if quoted:
                self.literal(word, prot=True)
                continue
            if word == "[":
                groups.append(len(self.out))
                continue
            if isinstance(word, str) and word.startswith("]"):
                m = re.match(r"\]\*(\d+)$", word)
                if not m or not groups:
                    raise FormatError("bad group end %r" % word)
                start = groups.pop()
                back = len(self.out) - start
                if back > 255:
                    raise FormatError("repeated group longer than 255 bytes")
                self.display(5, b2=back)
                self.out[-3] = int(m[1]) & 0xFF
                continue
            args = []
            while i < len(toks) and not toks[i][0] and _is_option(toks[i][1]):
                args.append(toks[i][1])
                i += 1
            if word == "lit":
                if i >= len(toks) or not toks[i][0]:
                    raise FormatError("lit needs a quoted text")
                text = toks[i][1]
                i += 1
                while (i < len(toks) and not toks[i][0]
                       and _is_option(toks[i][1])):
                    args.append(toks[i][1])
                    i += 1
                o = _opts(args)
                self.literal(text, prot="noprot" not in o,
                             tab="tab" in o, color=_num(o.get("color", b"0")))
                continue
            self.item(word, args)
        self.display(4, b2=0)
        self.out[-3] = rep & 0xFF
        self.nrows += 1 + rep
        self.ncols = max(self.ncols, self.col)

    def literal(self, text, prot=True, tab=False, color=0):
        while text:
            piece, text = text[:127], text[127:]
            self.display(3, len(piece), prot=prot, tab=tab, color=color,
                         text=piece)
            self.col += len(piece)

    def item(self, word, args):
        pos = [a for a in args if not isinstance(a, tuple) and "=" not in a
               and a not in _FLAGS]
        o = _opts(args)
        color = _num(o.get("color", b"0"))
        prot = "prot" in o
        if word == "blank":
            n = _num(pos[0])
            while n > 0:
                k = min(n, 63)
                self.out.append(0xC0 | k)
                self.col += k
                n -= k
        elif word == "fill":
            n = _num(pos[0])
            ch = pos[1].encode("latin-1")[0] if len(pos) > 1 else 0x20
            while n > 0:
                k = min(n, 63)
                self.out += bytes((0x80 | k, 0x80 if prot else 0,
                                   color & 0xF, ch))
                self.col += k
                n -= k
        elif word == "space":
            n = _num(pos[0])
            self.display(1, n, prot=prot, tab="tab" in o, color=color)
            self.col += n
        elif word == "areaa":
            n = _num(pos[0])
            self.display(2, n, prot=prot, tab="tab" in o, color=color)
            self.col += n
            self.area_a += n
        elif word == "sys":
            kind = SYS_KINDS.get(pos[0], None)
            kind = _num(pos[0]) if kind is None else kind
            n = _num(pos[1])
            self.display(kind, n, prot=True, color=color)
            self.col += n
        elif word == "cond":
            level = _num(pos[0])
            self.display(14, 0, b2=level)
            if "eq" in o:
                self.out[-2] |= 0x20
        elif word == "raw":
            self.out += bytes.fromhex("".join(pos))
            self.col += _num(o.get("cols", b"0"))
        elif word == "field":
            self.field(pos, o)
        else:
            raise FormatError("unknown row item %r" % word)

    def field(self, pos, o):
        if len(pos) < 2:
            raise FormatError("field needs a kind and a length")
        kind = DATA_KINDS.get(pos[0])
        kind = _num(pos[0]) if kind is None else kind
        length = _num(pos[1])
        if length < 1:
            raise FormatError("field length must be positive")
        prot = "prot" in o
        init = o.get("init")
        b1 = 0x20 if "rjust" in o or "b13" in o else 0
        b1 |= 0x40 if "tab" in o else 0
        b1 |= 0x80 if prot else 0
        b2 = _num(o.get("color", b"0")) & 0xF
        b2 |= 0x10 if "bwz" in o else 0
        b2 |= 0x20 if "nodata" in o else 0
        b2 |= 0x40 if init is not None else 0
        b2 |= 0x80 if "b23" in o else 0
        rest = length
        while rest > 127:
            self.out += bytes((127, 3, 0))
            rest -= 127
        if kind == 12:
            mask = o.get("mask", b"9" * length)[:length].ljust(length, b"9")
            b3 = (_num(o.get("decimals", b"0")) & 0xF) \
                | (_num(o.get("sign", b"0")) & 0x7) << 4 \
                | (0x80 if "dollar" in o else 0)
            digits = _num(o.get("digits", str(length).encode()))
            self.out += bytes((rest, (kind & 0xF) | b1, b2, b3, digits))
            self.out += mask
        else:
            self.out += bytes((rest, (kind & 0xF) | b1, b2))
        if init is not None:
            self.out += init[:length].ljust(length, b" ")
        self.fields.append((length, prot, "nodata" in o))
        self.col += length


_FLAGS = {"prot", "noprot", "tab", "rjust", "b13", "bwz", "nodata", "b23",
          "eq", "dollar"}


def _is_option(word):
    if isinstance(word, tuple):
        return True
    if word in _FLAGS or re.match(r"^-?(0x[0-9a-fA-F]+|\d+)$", word):
        return True
    if "=" in word:
        return True
    if len(word) == 1 and word not in "[":
        return True           # fill character
    if word in SYS_KINDS or word in DATA_KINDS:
        return True
    if re.match(r"^[0-9a-fA-F]+$", word):
        return True
    return False


def _opts(args):
    o = {}
    for a in args:
        k, v = _kv(a)
        o[k] = v
    return o


class Library:
    """Formats by name, loaded from *.fmt files of a folder."""

    def __init__(self):
        self.formats = {}

    def load_dir(self, path):
        for name in sorted(os.listdir(path)):
            if name.endswith(".fmt"):
                with open(os.path.join(path, name), encoding="latin-1") as f:
                    self.load_text(f.read(), name)
        return self

    def load_text(self, text, origin="<text>"):
        cur = None
        for lineno, line in enumerate(text.splitlines(), 1):
            try:
                toks = tokenize(line)
            except FormatError as e:
                raise FormatError("%s:%d: %s" % (origin, lineno, e))
            if not toks:
                continue
            head = toks[0][1]
            words = [t[1] for t in toks[1:]]
            try:
                if head == "format":
                    cur = Format(words[0])
                    self.formats[cur.name] = cur
                elif cur is None:
                    raise FormatError("%r outside a format" % head)
                elif head == "end":
                    cur.compile()
                    cur = None
                else:
                    _directive(cur, head, toks[1:], words)
            except (FormatError, IndexError, ValueError) as e:
                raise FormatError("%s:%d: %s" % (origin, lineno, e))
        if cur is not None:
            raise FormatError("%s: format %s has no end" % (origin, cur.name))
        return self

    def get(self, name):
        return None if name is None else self.formats.get(_norm(name))

    def reply(self, name, routing=(0, 0, 0, 0)):
        """The dFfmtReq answer: Short (16 for ma-ocount = data size), Short
        format length (0: no such format), String format."""
        f = self.get(name)
        data = f.compile() if f else b""
        buf = zenbuf.ZenBuf(FMT_REPLY, 0, pri=routing[0], p=routing[1],
                            q=routing[2], seg=routing[3])
        buf.add_short(16 if f and f.ocount16 else 0)
        buf.add_short(len(data))
        buf.add_string(data)
        packed = buf.pack()
        if len(packed) > REPLY_MAX:
            raise FormatError("format %s gives a %d-byte reply (at most %d)"
                              % (name, len(packed), REPLY_MAX))
        return buf


def _norm(name):
    if isinstance(name, bytes):
        name = name.decode("latin-1")
    return name.strip().upper()[:8]


def _directive(cur, head, toks, words):
    if head == "row":
        rep = 0
        keep = []
        for t in toks:
            if not t[0] and isinstance(t[1], str) and \
                    t[1].startswith("repeat="):
                rep = int(t[1][7:], 0)
            else:
                keep.append(t)
        cur.rows.append((keep, rep))
    elif head == "options":
        cur.options = int(words[0], 0)
    elif head == "firstrow":
        cur.first_row = int(words[0], 0)
    elif head == "cursor":
        cur.cursor = (int(words[0], 0), int(words[1], 0))
    elif head == "madata":
        cur.ma_data = int(words[0], 0)
    elif head == "areaa":
        cur.area_a = int(words[0], 0)
    elif head == "stamp":
        cur.stamp = " ".join(words)
        _stamp(cur.stamp)
    elif head == "ocount16":
        cur.ocount16 = True
    elif head == "noheader":
        cur.noheader = True
    elif head == "hex":
        cur.raw = bytes.fromhex("".join(words))
    elif head == "help":
        o = _opts(words)
        keys = tuple(int(k) for k in
                     o.get("keys", b"0,0,0").decode().split(","))
        if len(keys) != 3:
            raise FormatError("help keys=SYS,SCREEN,FIELD")
        cur.help = (o.get("sys", b""), o.get("screen", b""), keys)
    elif head == "fieldhelp":
        cur.field_help.append((int(words[0], 0), int(words[1], 0),
                               words[2].encode("latin-1")
                               if isinstance(words[2], str) else words[2]))
    else:
        raise FormatError("unknown directive %r" % head)
