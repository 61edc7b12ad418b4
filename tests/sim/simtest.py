"""Shared pieces of the simulator tests: the simulator process and a small
fake workstation speaking the workstation's side over real sockets."""

import os
import queue
import re
import socket
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SIM_DIR = os.path.normpath(os.path.join(HERE, "..", "..", "tools",
                                        "zendra-sim"))
SIM = os.path.join(SIM_DIR, "zendra_sim.py")
sys.path.insert(0, SIM_DIR)

import coder   # noqa: E402
import zenbuf  # noqa: E402

IAC, SB, SE, WILL, WONT, DO = 255, 250, 240, 251, 252, 253
WAIT = 20.0   # generous bound for a reply; tests never depend on speed


class Sim:
    """The simulator as a child process; `port` is what it listens on.

    A thread reads its output lines into a queue: a select() on the pipe
    would miss lines that one read already took into the file's buffer."""

    def __init__(self, *args):
        self.proc = subprocess.Popen(
            [sys.executable, SIM] + list(args), stdout=subprocess.PIPE,
            stderr=subprocess.PIPE, text=True)
        self.lines = []
        self.port = None
        self.eof = False
        self.queue = queue.Queue()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.proc.stdout:
            self.queue.put(line.rstrip("\n"))
        self.queue.put(None)

    def start_server(self):
        line = self.readline()
        m = re.match(r"listening on (\d+)$", line or "")
        if not m:
            self.proc.kill()
            err = self.proc.stderr.read()
            self.stop()
            raise AssertionError("simulator did not start: %r %s"
                                 % (line, err))
        self.port = int(m.group(1))
        return self

    def readline(self):
        """The next output line; "" once the output has ended."""
        if self.eof:
            return ""
        try:
            line = self.queue.get(timeout=WAIT)
        except queue.Empty:
            raise AssertionError("simulator printed nothing; so far %r"
                                 % self.lines)
        if line is None:
            self.eof = True
            return ""
        self.lines.append(line)
        return line

    def wait_line(self, prefix):
        while True:
            line = self.readline()
            if line == "" and self.eof:
                raise AssertionError("simulator ended; output %r"
                                     % self.lines)
            if line.startswith(prefix):
                return line

    def wait(self):
        try:
            self.proc.wait(timeout=WAIT)
        except subprocess.TimeoutExpired:
            self.stop()
            raise AssertionError("simulator did not end; output %r"
                                 % self.lines)
        self._drain()
        return self.proc.returncode

    def _drain(self):
        self.reader.join(WAIT)
        while self.readline():
            pass
        self.proc.stderr.close()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self._drain()


def recv_exact(sock, n):
    data = b""
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            raise AssertionError("connection closed after %r" % data)
        data += chunk
    return data


class FakeWorkstation:
    """Telnet client with the workstation's option answers, a listening
    socket for the call-back and framed, compressed messages."""

    def __init__(self, session=1, rows=24, cols=80):
        self.session = session
        self.rows, self.cols = rows, cols
        self.coder = coder.Coder(on=True)
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(5)
        self.listener.settimeout(WAIT)
        self.mcs_port = self.listener.getsockname()[1]
        self.tty = None
        self.mcs = None
        self.screen = b""        # host data after option filtering
        self.options = []        # what the host sent after IAC

    def close(self):
        for s in (self.tty, self.mcs, self.listener):
            if s:
                s.close()

    # HostIO side
    def login(self, port):
        self.tty = socket.create_connection(("127.0.0.1", port), WAIT)
        self.tty.settimeout(WAIT)

    def _filter(self, data):
        out = bytearray()
        i = 0
        while i < len(data):
            b = data[i]
            if b != IAC:
                out.append(b)
                i += 1
                continue
            cmd = data[i + 1]
            if cmd == SB:
                end = data.index(bytes((IAC, SE)), i)
                sb = data[i + 2:end]
                self.options.append(("SB", bytes(sb)))
                if sb[0] == 24:
                    self.tty.sendall(bytes((IAC, SB, 24, 0)) + b"korvex"
                                     + bytes((IAC, SE)))
                i = end + 2
            elif cmd in (WILL, WONT, DO, 254):
                opt = data[i + 2]
                self.options.append((cmd, opt))
                if cmd == DO:
                    self.tty.sendall(bytes((IAC, WILL if opt == 24 else WONT,
                                            opt)))
                i += 3
            elif cmd == IAC:
                out.append(IAC)
                i += 2
            else:
                i += 2
        return bytes(out)

    def read_until(self, text):
        deadline = time.monotonic() + WAIT
        while text not in self.screen:
            if time.monotonic() > deadline:
                raise AssertionError("no %r from host; screen %r"
                                     % (text, self.screen))
            chunk = self.tty.recv(4096)
            if not chunk:
                raise AssertionError("host closed; screen %r" % self.screen)
            self.screen += self._filter(chunk)
        before, _, after = self.screen.partition(text)
        self.screen = after
        return before

    def type(self, text):
        self.tty.sendall(text)

    def answer_open(self):
        self.read_until(b"\x1b$OPEN")
        self.type(b"\x1b$ACK7f000001.%04x.%04xm\r" % (self.mcs_port,
                                                       self.session))

    # MCS side
    def accept(self, ack=None):
        self.mcs, _ = self.listener.accept()
        self.mcs.settimeout(WAIT)
        greeting = recv_exact(self.mcs, 7)
        self.send_raw_message(ack if ack is not None
                              else b"%04x" % self.session)
        if ack != b"0000":
            self.send_raw_message(b"%03d%03d" % (self.rows, self.cols))
        return greeting

    def send_raw_message(self, msg):
        body = self.coder.compress(msg)
        self.mcs.sendall(len(body).to_bytes(2, "big") + body)

    def send(self, buf):
        self.send_raw_message(buf.pack())

    def recv(self):
        n = int.from_bytes(recv_exact(self.mcs, 2), "big")
        msg = self.coder.decompress(recv_exact(self.mcs, n))
        assert not isinstance(msg, int), "bad body %d" % msg
        return zenbuf.ZenBuf.unpack(msg)

    def request_format(self, name):
        request_text = b"F" + b"ZEN$Y$" + b"  " + name.upper().ljust(8)
        self.send(zenbuf.ZenBuf(200).add_string(request_text))
        reply = self.recv()
        assert reply.func == 199, reply.describe()
        return reply.string(3)
