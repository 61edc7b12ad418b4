"""ZENBUF: the 24-byte big-endian header and typed parameters of one MCS
message, plus the function-code names used in traces and scripts."""

import struct

T_CHAR, T_SHORT, T_INT, T_STRING = 0, 1, 2, 3
HEADER_SIZE = 24

FUNC_NAMES = {
    1: "dFlogin", 2: "dFlogout", 3: "dFshutdown", 4: "dFexecfail", 5: "dFexecfcs",
    6: "dFping", 7: "dFgrowbuf", 8: "dFgrowcda", 9: "dFprok", 14: "dFsmsBld", 15: "dFsmsEdt",
    16: "dFsmsRbld", 17: "dFcmdPrvw", 18: "dFidle", 19: "dFkill", 20: "dFmcsrdy",
    21: "dFmsgo", 22: "dFmsgi", 23: "dFmsge", 24: "dFerase", 25: "dFmsgeo", 26: "dFtimer",
    27: "dFroll", 28: "dFprompt", 29: "dFparam", 30: "dFtext", 31: "dFutsin", 32: "dFutsout",
    33: "dFmsgov", 34: "dFmsgrs", 35: "dFmsgrv", 36: "dFask", 37: "dFaskyn", 38: "dFlist",
    39: "dFmenu", 40: "dFhelp", 41: "dFkdcin", 42: "dFkdcout", 47: "dFtitle", 48: "dFmcsform",
    49: "dFzenmsg", 51: "dFunsolmsg", 52: "dFutsedit", 53: "dFbmsin", 54: "dFbmsout",
    56: "dFbreak", 57: "dFcmdline", 59: "dFgrpst", 60: "dFsub", 61: "dFxctl", 62: "dFrtn",
    63: "dFfork", 64: "dFjump", 65: "dFdxc", 66: "dFsubp", 67: "dFflag", 68: "dFqueue",
    69: "dFpeer", 70: "dFusr", 71: "dFusrid", 72: "dFdate", 73: "dFforkq", 74: "dFmsg",
    75: "dFpeerfork", 76: "dFremoteSub", 77: "dFusrTerm", 78: "dFo4iq", 79: "dFforkw",
    80: "dFwinapp", 82: "dFfree", 83: "dFzencd", 84: "dFsetenv", 85: "dFscript",
    86: "dFfin", 87: "dFzenh2p", 88: "dFzenp2h", 89: "dFzencdq", 90: "dFfopen", 91: "dFfclose",
    92: "dFfcsopen", 93: "dFfcsclose", 94: "dFfcsio", 95: "dFsysio", 96: "dFprint",
    97: "dFgetfdes", 98: "dFfdes", 99: "dFusrst", 100: "dFdebug", 102: "dFnoop",
    103: "dFloadsec", 104: "dFdmlio", 106: "dFjrnswap", 107: "dFgetTermId", 110: "dFtren",
    111: "dFprepare", 112: "dFready", 114: "dFabortTran", 115: "dFabort", 116: "dFdoneAbort",
    117: "dFcommit", 118: "dFrelease", 119: "dFcleanUp", 120: "dFdoneCleanUp", 121: "dFquery",
    122: "dFuiBegin", 123: "dFuiEnd", 124: "dFrmtUtsIn", 125: "dFrmtUtsOut", 126: "dFrmtUnsolmsg",
    127: "dFrmtUtsPrvw", 128: "dFlclUtsPrvw", 129: "dFrmtMcs", 130: "dFtmReqTran",
    131: "dFtmReqDbio", 132: "dFtmIdle", 133: "dFtmStart", 134: "dFtmStop", 135: "dFtmResume",
    136: "dFtmBusy", 137: "dFtmReqDbio2", 138: "dFtranOpt", 139: "dFrmtMcsAck", 153: "dFexecProg",
    154: "dFexecStop", 155: "dFrunBack", 156: "dFquetd", 160: "dFmsgxo", 161: "dFmsgxi",
    162: "dFmsgxe", 199: "dFfmtReply", 200: "dFfmtReq", 201: "dFutsoutraw", 216: "dFlopen",
    217: "dFlclose", 218: "dFtranup", 219: "dFtrandown", 220: "dFfreePrt", 221: "dFconect",
    222: "dFdiscon", 223: "dFforceCmt", 224: "dFportup", 225: "dFportdown", 226: "dFudsread",
    227: "dFudsack", 230: "dFwsNegotiate", 231: "dFwsIdentTerm", 232: "dFwsSecurity",
    233: "dFwsErrorMsg", 234: "dFwsPwdChange", 235: "dFwsKeepAlive", 236: "dFwsVersionInfo",
    240: "dFwebTsRead", 241: "dFwebTsSend", 242: "dFuniAccess", 250: "dFmcbPassoff",

}
FUNC_CODES = {v.lower(): k for k, v in FUNC_NAMES.items()}


def function_name(code):
    """Display name: the name padded to 10, "dF#%d" when unnamed, upper case
    for a negative code."""
    a = abs(code)
    name = FUNC_NAMES.get(a, "dF#%d" % a)
    name = name.ljust(10)
    return name.upper() if code < 0 else name


def parse_func(text):
    """A function code from a number or a name (case-insensitive)."""
    t = text.strip()
    try:
        return int(t, 0)
    except ValueError:
        pass
    code = FUNC_CODES.get(t.lower())
    if code is None:
        raise ValueError("unknown function %r" % text)
    return code


class ZenBuf:
    """One message: routing values, func, Sub and a list of (type, value).
    Char values are ints 0..255, Short/Int ints, String values bytes."""

    def __init__(self, func=0, sub=0, params=None, pri=0, p=0, q=0, seg=0):
        self.pri, self.p, self.q, self.seg = pri, p, q, seg
        self.func, self.sub = func, sub
        self.params = list(params or [])
        self.declared_len = None   # header len as received

    # building
    def add_char(self, c):
        if isinstance(c, (bytes, str)):
            c = (c.encode("latin-1") if isinstance(c, str) else c)[0]
        self.params.append((T_CHAR, c & 0xFF))
        return self

    def add_short(self, v):
        self.params.append((T_SHORT, v))
        return self

    def add_int(self, v):
        self.params.append((T_INT, v))
        return self

    def add_string(self, s, nul=False):
        if isinstance(s, str):
            s = s.encode("latin-1")
        if nul:
            s = s + b"\0"
        self.params.append((T_STRING, bytes(s)))
        return self

    def pack(self):
        body = bytearray()
        for typ, val in self.params:
            if typ == T_CHAR:
                body += struct.pack(">hhB", 0, T_CHAR, val & 0xFF)
            elif typ == T_SHORT:
                body += struct.pack(">hhH", 0, T_SHORT, val & 0xFFFF)
            elif typ == T_INT:
                body += struct.pack(">hhI", 0, T_INT, val & 0xFFFFFFFF)
            elif typ == T_STRING:
                if len(val) > 32767:
                    raise ValueError("string parameter longer than 32767")
                body += struct.pack(">hh", len(val), T_STRING) + val
            else:
                raise ValueError("bad parameter type %r" % typ)
        hdr = struct.pack(">iiiihhhh", self.pri, self.p, self.q, self.seg,
                          _s16(self.func), _s16(self.sub),
                          _s16(len(self.params)), _s16(len(body)))
        return hdr + bytes(body)

    # reading
    @classmethod
    def unpack(cls, data):
        """Parses a received buffer; raises ValueError when it is malformed."""
        data = bytes(data)
        if len(data) < HEADER_SIZE:
            raise ValueError("buffer of %d bytes is shorter than the header"
                             % len(data))
        pri, p, q, seg, func, sub, prm, ln = struct.unpack(
            ">iiiihhhh", data[:HEADER_SIZE])
        buf = cls(func, sub, pri=pri, p=p, q=q, seg=seg)
        buf.declared_len = ln
        count = 0 if ln < 0 else prm
        pos = HEADER_SIZE
        for i in range(1, count + 1):
            if pos + 4 > len(data):
                raise ValueError("parameter %d head past the end" % i)
            plen, typ = struct.unpack(">hh", data[pos:pos + 4])
            pos += 4
            size = {T_CHAR: 1, T_SHORT: 2, T_INT: 4}.get(typ)
            if typ == T_STRING:
                if plen < 0:
                    raise ValueError("parameter %d: negative string length"
                                     % i)
                size = plen
            if size is None:
                raise ValueError("parameter %d: bad type %d" % (i, typ))
            if pos + size > len(data):
                raise ValueError("parameter %d data past the end" % i)
            raw = data[pos:pos + size]
            pos += size
            if typ == T_CHAR:
                buf.params.append((T_CHAR, raw[0]))
            elif typ == T_SHORT:
                buf.params.append((T_SHORT, struct.unpack(">h", raw)[0]))
            elif typ == T_INT:
                buf.params.append((T_INT, struct.unpack(">i", raw)[0]))
            else:
                buf.params.append((T_STRING, raw))
        return buf

    def param(self, n):
        """(type, value) of parameter n (from 1), or None."""
        if 1 <= n <= len(self.params):
            return self.params[n - 1]
        return None

    def string(self, n):
        p = self.param(n)
        if p is None or p[0] != T_STRING:
            raise ValueError("parameter %d is not a String" % n)
        return p[1]

    def number(self, n):
        p = self.param(n)
        if p is None or p[0] not in (T_SHORT, T_INT, T_CHAR):
            raise ValueError("parameter %d is not a number" % n)
        return p[1]

    def describe(self):
        parts = ["%s sub=%d prm=%d" % (function_name(self.func).strip(),
                                       self.sub, len(self.params))]
        for i, (typ, val) in enumerate(self.params, 1):
            if typ == T_STRING:
                parts.append("%d:T%d%s" % (i, len(val), _preview(val)))
            else:
                parts.append("%d:%s%d" % (i, "CSI"[typ], val))
        return " ".join(parts)


def _s16(v):
    v &= 0xFFFF
    return v - 0x10000 if v >= 0x8000 else v


def _preview(val):
    text = "".join(chr(b) if 0x20 <= b < 0x7F else "." for b in val[:24])
    return "'%s%s'" % (text, "..." if len(val) > 24 else "")
