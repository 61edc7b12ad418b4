"""Transaction scripts: one step a line.

    form dFmsgo fmt=MENU1 text="JOHN" cb.wait=30 count=1
    expect dFmsgo fmt=MENU1 text^="JO" status=" "
    fmtreq MENU1
    send 205
    tty "listing...\r\n"
    pseudo "some output\r\n"
    end
"""

import time

import forms
import zenbuf
from fmtlib import tokenize, unescape, FormatError
from mcs import ChannelError

EOF_MARK = b"<([%EOF%])>"
FMT_REQ = 200


class ScriptError(Exception):
    pass


class Step:
    def __init__(self, lineno, op, args):
        self.lineno, self.op, self.args = lineno, op, args

    def __repr__(self):
        return "line %d (%s)" % (self.lineno, self.op)


OPS = {"set", "form", "send", "expect", "noreply", "fmtreq", "tty", "pseudo",
       "sleep", "end", "close"}


def parse(text, origin="<script>"):
    steps = []
    for n, line in enumerate(text.splitlines(), 1):
        try:
            toks = tokenize(line)
        except FormatError as e:
            raise ScriptError("%s:%d: %s" % (origin, n, e))
        if not toks:
            continue
        quoted, op = toks[0]
        if quoted or op not in OPS:
            raise ScriptError("%s:%d: unknown step %r" % (origin, n, op))
        args = []
        for q, w in toks[1:]:
            if q:
                args.append(("", w))
            elif isinstance(w, tuple):
                args.append(w)
            elif "=" in w:
                k, v = w.split("=", 1)
                args.append((k, unescape(v)))
            else:
                args.append((w, None))
        steps.append(Step(n, op, args))
    return steps


def load(path):
    with open(path, encoding="latin-1") as f:
        return parse(f.read(), path)


def _int(v):
    if isinstance(v, bytes):
        v = v.decode("latin-1")
    return int(v, 0)


class Runner:
    """Runs steps over an MCS channel; `tty` writes on the HostIO connection
    (None when the session has no host login)."""

    def __init__(self, chan, library, tty=None, log=None):
        self.chan = chan
        self.library = library
        self.tty = tty
        self.log = log or (lambda text: None)
        self.formats_asked = []
        self.last = None
        self.routing = (0, 0, 0, 0)

    def run(self, steps):
        for st in steps:
            try:
                getattr(self, "op_" + st.op)(st.args)
            except (ChannelError, ValueError, OSError) as e:
                raise ScriptError("%r: %s" % (st, e))
            except ScriptError as e:
                raise ScriptError("%r: %s" % (st, e))

    # receiving, with format requests answered on the way
    def recv_reply(self, timeout=None):
        old = self.chan.sock.gettimeout()
        if timeout is not None:
            self.chan.sock.settimeout(timeout)
        try:
            while True:
                buf = self.chan.recv()
                if buf.func == FMT_REQ:
                    self.answer_format(buf)
                    continue
                self.last = buf
                return buf
        finally:
            self.chan.sock.settimeout(old)

    def answer_format(self, req):
        try:
            request_text = req.string(1)
        except ValueError as e:
            raise ScriptError("format request without its String: %s" % e)
        if len(request_text) != 17 or request_text[0:1] not in (b"F", b"H") \
                or request_text[7:9] != b"  ":
            raise ScriptError("malformed format request %r" % request_text)
        name = request_text[9:17]
        self.formats_asked.append((request_text[0:1], request_text[1:7], name))
        # help texts are not in the library yet: they get length 0
        reply = self.library.reply(name if request_text[0:1] == b"F" else None)
        self.log("format request %s%s -> %d bytes" % (
            request_text[0:1].decode(), name.decode("latin-1").strip(),
            reply.number(2)))
        self.chan.send(reply)

    # steps
    def op_set(self, args):
        for k, v in args:
            if k == "compress":
                self.chan.compress = v in (b"on", b"1", b"yes")
            elif k == "leader":
                self.chan.coder.leader = v in (b"on", b"1", b"yes")
            elif k == "timeout":
                self.chan.timeout = float(v)
                self.chan.sock.settimeout(self.chan.timeout)
            else:
                raise ScriptError("unknown setting %r" % k)

    def _routing(self, opts):
        r = list(self.routing)
        for i, k in enumerate(("pri", "p", "q", "seg")):
            if k in opts:
                r[i] = _int(opts[k])
        return tuple(r)

    def op_form(self, args):
        if not args or args[0][1] is not None:
            raise ScriptError("form needs a function code")
        func = zenbuf.parse_func(args[0][0])
        opts = {}
        cbf = {}
        pre = []
        for k, v in args[1:]:
            if k.startswith("cb."):
                cbf[k[3:]] = v
            elif k == "pre":
                pre.append(v)
            else:
                opts[k] = v
        cblen = _int(opts.get("cblen", b"128"))
        cb = forms.cb_build(cbf, cblen)
        cap = opts.get("cap")
        ma = forms.ma_build(opts.get("fmt", b""), opts.get("text", b""),
                            kind=opts.get("kind", b" "),
                            status=opts.get("mstatus", b" "),
                            fill=opts.get("fill", b"_"),
                            capacity=None if cap is None else _int(cap))
        buf = forms.forms_request(
            func, cb=cb, ma=ma, area_a=opts.get("areaa", b""),
            area_b=opts.get("areab", b""), area_c=opts.get("areac", b""),
            status=opts.get("status", b" "),
            count=_int(opts.get("count", b"1")),
            area_d=opts.get("aread"), pre=pre,
            sub=_int(opts.get("sub", b"0")), routing=self._routing(opts))
        self.chan.send(buf)

    def op_send(self, args):
        if not args or args[0][1] is not None:
            raise ScriptError("send needs a function code")
        buf = zenbuf.ZenBuf(zenbuf.parse_func(args[0][0]))
        opts = {}
        for k, v in args[1:]:
            if k == "c":
                buf.add_char(forms.byte_value(v))
            elif k == "s":
                buf.add_short(_int(v))
            elif k == "i":
                buf.add_int(_int(v))
            elif k == "t":
                buf.add_string(v)
            elif k == "tz":
                buf.add_string(v, nul=True)
            elif k == "x":
                buf.add_string(bytes.fromhex(v.decode()))
            elif k in ("sub", "pri", "p", "q", "seg"):
                opts[k] = v
            else:
                raise ScriptError("unknown send argument %r" % k)
        buf.sub = _int(opts.get("sub", b"0"))
        buf.pri, buf.p, buf.q, buf.seg = self._routing(opts)
        self.chan.send(buf)

    def op_expect(self, args):
        buf = self.recv_reply()
        reply = forms.Reply(buf)
        checks = list(args)
        if checks and checks[0][1] is None:
            want = zenbuf.parse_func(checks.pop(0)[0])
            if buf.func != want:
                raise ScriptError("expected %s, got %s" % (
                    zenbuf.function_name(want).strip(), buf.describe()))
        for key, value in checks:
            op = "="
            if key.endswith("^") or key.endswith("*") or key.endswith("!"):
                key, op = key[:-1], key[-1]
            if value is None:
                raise ScriptError("check %r needs a value" % key)
            got = reply.get(key)
            if not _matches(key, got, value, op):
                raise ScriptError("%s: expected %s%r, got %r (reply %s)" % (
                    key, {"=": "", "^": "prefix ", "*": "containing ",
                          "!": "not "}[op], value, got, buf.describe()))
        self.log("reply ok: " + buf.describe())

    def op_noreply(self, args):
        wait = float(args[0][0]) if args else 0.5
        try:
            buf = self.recv_reply(timeout=wait)
        except ChannelError as e:
            if "within" in str(e):
                return
            raise
        raise ScriptError("expected no reply, got %s" % buf.describe())

    def op_fmtreq(self, args):
        want = args[0][0].encode("latin-1").upper() if args else None
        deadline = time.monotonic() + self.chan.timeout
        while True:
            for i, (kind, lib, name) in enumerate(self.formats_asked):
                if want is None or name.rstrip() == want:
                    del self.formats_asked[:i + 1]
                    return
            if time.monotonic() > deadline:
                raise ScriptError("no format request for %s" % want)
            buf = self.chan.recv()
            if buf.func != FMT_REQ:
                raise ScriptError("expected a format request, got %s"
                                  % buf.describe())
            self.answer_format(buf)

    def op_tty(self, args):
        if self.tty is None:
            raise ScriptError("no host connection in this session")
        self.tty(b"".join(v if k == "" else k.encode() for k, v in args))

    def op_pseudo(self, args):
        self.chan.send(zenbuf.ZenBuf(205))
        self.op_tty(args + [("", EOF_MARK)])
        self.chan.send(zenbuf.ZenBuf(206))
        buf = self.recv_reply()
        if buf.func != 206 or buf.params:
            raise ScriptError("expected the 206 reply, got %s"
                              % buf.describe())

    def op_sleep(self, args):
        time.sleep(float(args[0][0]))

    def op_end(self, args):
        self.chan.send(zenbuf.ZenBuf(203))
        buf = self.recv_reply()
        if buf.func != 203 or buf.params:
            raise ScriptError("expected the 203 reply, got %s"
                              % buf.describe())
        self.chan.close()

    def op_close(self, args):
        self.chan.close()


def _matches(key, got, value, op):
    if isinstance(got, int):
        if key == "func":
            want = zenbuf.parse_func(value.decode("latin-1"))
        elif key == "status" or (key.startswith("ma.") and key[3:] in
                                 ("kind", "status", "fill")) \
                or (key.startswith("cb.") and
                    forms.CB_FIELDS[key[3:]][2] == "b"):
            want = forms.byte_value(value)
        else:
            want = _int(value)
        res = got == want
    else:
        got = bytes(got)
        if key in ("fmt", "cb.fmt", "cb.default", "cb.term"):
            got = got.rstrip(b" ")
            value = value.rstrip(b" ")
            if key == "fmt":
                value = value.upper()
        if op == "^":
            return got.startswith(value)
        if op == "*":
            return value in got
        res = got == value
    return res != (op == "!")
