"""The host daemon's side of the MCS channel: the call-back connection,
the 7-byte greeting, the two ACK messages and framed, compressed ZENBUFs.
Every frame in both directions can be written to a trace."""

import socket
import threading

import coder
import zenbuf

GREETING_PREFIX = b"ZTC"   # bytes 0..2 of the greeting are not examined


class ChannelError(Exception):
    pass


class Trace:
    """Trace file: one record a line, "CHAN DIR KIND HEX"; comment lines
    begin with "#". CHAN is TTY or MCS, DIR is H>W (host to workstation),
    W>H or --, KIND one of RAW, ACK, OPEN, GREET, FRAME, CLOSE."""

    def __init__(self, path=None):
        self.lock = threading.Lock()
        self.f = open(path, "a", encoding="ascii") if path else None

    def record(self, chan, direction, kind, data=b"", note=None):
        if not self.f:
            return
        with self.lock:
            if note:
                self.f.write("# %s\n" % note)
            self.f.write("%s %s %s %s\n" % (chan, direction, kind,
                                            bytes(data).hex() or "-"))
            self.f.flush()

    def comment(self, text):
        if not self.f:
            return
        with self.lock:
            self.f.write("# %s\n" % text)
            self.f.flush()

    def close(self):
        if self.f:
            self.f.close()
            self.f = None


def read_trace(path):
    """Records of a trace file as (line number, chan, dir, kind, bytes)."""
    recs = []
    with open(path, encoding="ascii") as f:
        for n, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            parts = line.split()
            if len(parts) != 4:
                raise ValueError("%s:%d: expected CHAN DIR KIND HEX" %
                                 (path, n))
            chan, direction, kind, hexdata = parts
            data = b"" if hexdata == "-" else bytes.fromhex(hexdata)
            recs.append((n, chan, direction, kind, data))
    return recs


def recv_exact(sock, n):
    data = bytearray()
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            raise ChannelError("connection closed after %d of %d bytes"
                               % (len(data), n))
        data += chunk
    return bytes(data)


class Channel:
    """One MCS connection from the host side."""

    def __init__(self, trace=None, compress=True, leader=False, timeout=30.0,
                 log=None):
        self.trace = trace or Trace()
        self.coder = coder.Coder(on=compress, leader=leader)
        self.compress = compress
        self.timeout = timeout
        self.sock = None
        self.log = log or (lambda text: None)
        self.rows = self.cols = None
        self.session = None

    def connect(self, addr, port):
        self.trace.record("MCS", "--", "OPEN",
                          socket.inet_aton(addr) + port.to_bytes(2, "big"),
                          note="call back %s:%d" % (addr, port))
        try:
            self.sock = socket.create_connection((addr, port),
                                                 timeout=self.timeout)
        except OSError as e:
            raise ChannelError("cannot connect to %s:%d: %s" % (addr, port, e))
        self.sock.settimeout(self.timeout)

    def close(self):
        if self.sock:
            self.trace.record("MCS", "--", "CLOSE")
            try:
                self.sock.close()
            finally:
                self.sock = None

    # raw traffic
    def send_raw(self, data, kind="RAW", note=None):
        self.trace.record("MCS", "H>W", kind, data, note=note)
        try:
            self.sock.sendall(data)
        except OSError as e:
            raise ChannelError("send failed: %s" % e)

    def read_frame(self):
        """One frame: returns (frame bytes, body)."""
        try:
            head = recv_exact(self.sock, 2)
            body = recv_exact(self.sock, int.from_bytes(head, "big"))
        except socket.timeout:
            raise ChannelError("no frame from the workstation within %gs"
                               % self.timeout)
        except OSError as e:
            raise ChannelError("receive failed: %s" % e)
        return head + body, body

    def recv_message(self, what="message"):
        frame, body = self.read_frame()
        msg = self.coder.decompress(body)
        if isinstance(msg, int):
            self.trace.record("MCS", "W>H", "FRAME", frame,
                              note="undecodable body (%d)" % msg)
            raise ChannelError("%s: body does not decompress (%d)"
                               % (what, msg))
        return frame, msg

    def send_message(self, msg, note=None):
        self.coder.on = self.compress
        body = self.coder.compress(msg)
        if isinstance(body, int):
            raise ChannelError("compression failed (%d)" % body)
        frame = len(body).to_bytes(2, "big") + body
        self.send_raw(frame, "FRAME", note=note)

    # call-back handshake
    def handshake(self, tag):
        """Greeting with the 4-character tag, then the workstation's two
        ACKs: the session number and the screen size."""
        tag = tag.encode("ascii") if isinstance(tag, str) else tag
        if len(tag) != 4:
            raise ChannelError("session tag must be 4 characters")
        self.send_raw(GREETING_PREFIX + tag, "GREET", note="greeting tag %s"
                      % tag.decode("ascii", "replace"))
        frame, ack1 = self.recv_message("first ACK")
        self.trace.record("MCS", "W>H", "FRAME", frame,
                          note="ACK session %s" % ack1.decode("latin-1"))
        if ack1 == b"0000" or len(ack1) != 4:
            raise ChannelError("workstation refused the call-back (%r)"
                               % ack1)
        try:
            self.session = int(ack1, 16)
        except ValueError:
            raise ChannelError("first ACK is not 4 hex digits: %r" % ack1)
        if tag != b"0000" and ack1.lower() != tag.lower():
            raise ChannelError("ACK %r does not match tag %r" % (ack1, tag))
        frame, ack2 = self.recv_message("second ACK")
        self.trace.record("MCS", "W>H", "FRAME", frame,
                          note="ACK screen %s" % ack2.decode("latin-1"))
        if len(ack2) != 6 or not ack2.isdigit():
            raise ChannelError("second ACK is not rows and columns: %r"
                               % ack2)
        self.rows, self.cols = int(ack2[:3]), int(ack2[3:])
        return self.session

    # messages
    def send(self, buf):
        self.send_message(buf.pack(), note="-> " + buf.describe())

    def recv(self):
        frame, msg = self.recv_message()
        try:
            buf = zenbuf.ZenBuf.unpack(msg)
        except ValueError as e:
            self.trace.record("MCS", "W>H", "FRAME", frame,
                              note="bad ZENBUF: %s" % e)
            raise ChannelError("bad ZENBUF from the workstation: %s" % e)
        self.trace.record("MCS", "W>H", "FRAME", frame,
                          note="<- " + buf.describe())
        return buf
