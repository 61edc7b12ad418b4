"""HostIO server: a telnet login with a small shell whose `zendra NAME`
command starts a transaction: "\\e$OPEN", the workstation's "$ACK" reply,
the call-back and the transaction script (or a recorded trace)."""

import os
import re
import socket
import socketserver
import sys
import threading
import time

import mcs
import replay as replay_mod
import script as script_mod
from telnet import Telnet, Closed

OPEN_REQUEST = b"\x1b$OPEN"
ACK_REPLY = re.compile(rb"\x1b\$ACK([0-9a-fA-F]{8})\.([0-9a-fA-F]{4})\."
                       rb"([0-9a-fA-F]{4})m\r")
PROMPT = b"$ "
WINDOW_RECORD = 12        # rlogin window-size record: ff ff s s + 4 shorts


class Config:
    def __init__(self, library, scripts_dir=None, trace=None, replay=None,
                 compress=True, leader=False, timeout=30.0, auto=None,
                 echo_ack=True, out=None):
        self.library = library
        self.scripts_dir = scripts_dir
        self.trace = trace or mcs.Trace()
        self.replay = replay              # records, or None
        self.compress = compress
        self.leader = leader
        self.timeout = timeout
        self.auto = auto
        self.echo_ack = echo_ack
        self.out = out or sys.stdout
        self.lock = threading.Lock()
        self.results = []                 # (name, ok, text)
        self.done = threading.Event()

    def say(self, text):
        with self.lock:
            self.out.write(text + "\n")
            self.out.flush()

    def result(self, name, ok, text=""):
        self.results.append((name, ok, text))
        self.say("transaction %s: %s" % (name, "ok" if ok else
                                          "FAILED: " + text))

    def script_path(self, name):
        if not self.scripts_dir or not re.match(r"^[\w.-]+$", name):
            return None
        path = os.path.join(self.scripts_dir, name + ".zs")
        return path if os.path.isfile(path) else None

    def script_names(self):
        if not self.scripts_dir or not os.path.isdir(self.scripts_dir):
            return []
        return sorted(n[:-3] for n in os.listdir(self.scripts_dir)
                      if n.endswith(".zs"))


class Shell:
    def __init__(self, sock, cfg):
        self.sock = sock
        self.cfg = cfg
        self.peer = sock.getpeername()[0]
        self.tn = Telnet(sock, log=cfg.say)
        self.ttype = None

    def out(self, text):
        if isinstance(text, str):
            text = text.encode("latin-1")
        self.tn.write(text.replace(b"\n", b"\r\n"))

    def run(self):
        self.ttype = self.tn.negotiate()
        self.cfg.say("login from %s terminal %s" % (self.peer, self.ttype))
        self.out("Zendra host simulator, terminal %s\n" % (self.ttype or "?"))
        if self.cfg.auto:
            self.transaction(self.cfg.auto)
            if self.cfg.replay is not None:
                return
        while True:
            self.tn.write(PROMPT)
            line = self.read_line()
            words = line.split()
            if not words:
                continue
            cmd, args = words[0], words[1:]
            if cmd in ("exit", "logout"):
                self.out("logout\n")
                return
            if cmd == "echo":
                self.out(" ".join(args) + "\n")
            elif cmd == "date":
                self.out(time.strftime("%a %b %d %H:%M:%S %Y") + "\n")
            elif cmd == "ls":
                for n in self.cfg.script_names():
                    self.out(n + "\n")
            elif cmd == "tty":
                self.out("terminal %s\n" % (self.ttype or "unknown"))
            elif cmd == "help":
                self.out("commands: echo, date, ls, tty, zendra NAME, exit\n")
            elif cmd == "zendra":
                if len(args) != 1:
                    self.out("usage: zendra NAME\n")
                else:
                    self.transaction(args[0])
                    if self.cfg.replay is not None:
                        return
            else:
                self.out("sh: %s: not found\n" % cmd)

    def read_line(self):
        line = bytearray()
        while True:
            while not self.tn.data:
                self.tn.fill(None)
            b = self.tn.data.pop(0)
            if b == 0xFF:
                self.window_record()
            elif b in (0x0D, 0x0A):
                if b == 0x0D:
                    self.skip_after_cr()
                self.tn.write(b"\r\n")
                return line.decode("latin-1")
            elif b in (0x08, 0x7F):
                if line:
                    line.pop()
                    self.tn.write(b"\b \b")
            elif b == 0x03:
                line.clear()
                self.tn.write(b"^C\r\n" + PROMPT)
            elif b >= 0x20:
                line.append(b)
                self.tn.write(bytes((b,)))

    def skip_after_cr(self):
        if not self.tn.data:
            self.tn.fill(0.05)
        if self.tn.data and self.tn.data[0] in (0x00, 0x0A):
            self.tn.data.pop(0)

    def window_record(self):
        # an rlogin window-size record reads as ff "ss" rows cols x y here
        need = WINDOW_RECORD - 2
        while len(self.tn.data) < need - 1:
            if not self.tn.fill(1.0):
                return
        rec = bytes(self.tn.data[:need - 1])
        if rec[:2] == b"ss":
            del self.tn.data[:need - 1]
            rows = int.from_bytes(rec[2:4], "big")
            cols = int.from_bytes(rec[4:6], "big")
            self.cfg.say("window size %dx%d" % (rows, cols))

    # transactions
    def tty_write(self, data):
        self.cfg.trace.record("TTY", "H>W", "RAW", data)
        self.tn.write(data)

    def read_ack(self):
        """Sends "\\e$OPEN" was done by the caller; waits for the reply in
        the keyboard stream and returns (address, port, session)."""
        deadline = time.monotonic() + self.cfg.timeout
        while True:
            m = ACK_REPLY.search(bytes(self.tn.data))
            if m:
                del self.tn.data[:m.end()]
                break
            left = deadline - time.monotonic()
            if left <= 0 or not self.tn.fill(left):
                raise mcs.ChannelError("no $ACK reply to $OPEN")
        raw = m.group(0)
        self.cfg.trace.record("TTY", "W>H", "ACK", raw,
                              note="workstation $ACK")
        if self.cfg.echo_ack:
            self.tn.write(raw)    # a terminal line echoes what it reads
        addr = socket.inet_ntoa(bytes.fromhex(m.group(1).decode()))
        if addr == "0.0.0.0":
            addr = self.peer
        return addr, int(m.group(2), 16), int(m.group(3), 16)

    def transaction(self, name):
        cfg = self.cfg
        if cfg.replay is not None:
            try:
                n = replay_mod.replay(cfg.replay, tty=self.tty_write_raw,
                                      read_ack=self.read_ack_raw,
                                      timeout=cfg.timeout, log=cfg.say)
                cfg.result("replay", True, "%d frames" % n)
                cfg.say("replay: ok, %d frames matched" % n)
            except (replay_mod.ReplayError, mcs.ChannelError, OSError) as e:
                cfg.result("replay", False, str(e))
                cfg.say("replay: FAILED: %s" % e)
            cfg.done.set()
            return
        path = cfg.script_path(name)
        if path is None:
            self.out("zendra: no transaction %s\n" % name)
            return
        try:
            steps = script_mod.load(path)
        except script_mod.ScriptError as e:
            self.out("zendra: %s\n" % e)
            cfg.result(name, False, str(e))
            return
        cfg.trace.comment("transaction %s" % name)
        chan = mcs.Channel(cfg.trace, compress=cfg.compress,
                           leader=cfg.leader, timeout=cfg.timeout,
                           log=cfg.say)
        try:
            self.tty_write(OPEN_REQUEST)
            addr, port, session = self.read_ack()
            cfg.say("$ACK from %s: call back %s:%d session %d"
                    % (self.peer, addr, port, session))
            chan.connect(addr, port)
            chan.handshake("%04x" % session)
            cfg.say("session %d screen %dx%d" % (chan.session, chan.rows,
                                                 chan.cols))
            script_mod.Runner(chan, cfg.library, tty=self.tty_write,
                              log=cfg.say).run(steps)
            cfg.result(name, True)
        except (script_mod.ScriptError, mcs.ChannelError, OSError) as e:
            cfg.result(name, False, str(e))
        except Exception as e:       # a simulator fault still ends the run
            cfg.result(name, False, "internal error %r" % e)
        finally:
            chan.close()

    def tty_write_raw(self, data):
        self.tn.write(data)

    def read_ack_raw(self):
        return self.read_ack()


class _Handler(socketserver.BaseRequestHandler):
    def handle(self):
        cfg = self.server.cfg
        try:
            Shell(self.request, cfg).run()
        except Closed:
            pass
        except Exception as e:          # keep serving other sessions
            cfg.say("session error: %r" % e)
        finally:
            if cfg.replay is not None:
                cfg.done.set()


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, host, port, cfg):
        self.cfg = cfg
        super().__init__((host, port), _Handler)


def callback(cfg, target, steps, tag="0000", name="callback"):
    """Call-back without host login: connect to the workstation's listening
    port with the given tag and run the steps (or the replay)."""
    if cfg.replay is not None:
        try:
            n = replay_mod.replay(cfg.replay, target=target,
                                  timeout=cfg.timeout, log=cfg.say)
            cfg.say("replay: ok, %d frames matched" % n)
            return True
        except (replay_mod.ReplayError, OSError) as e:
            cfg.say("replay: FAILED: %s" % e)
            return False
    chan = mcs.Channel(cfg.trace, compress=cfg.compress, leader=cfg.leader,
                       timeout=cfg.timeout, log=cfg.say)
    cfg.trace.comment("call-back %s tag %s" % (name, tag))
    try:
        chan.connect(*target)
        chan.handshake(tag)
        cfg.say("session %d screen %dx%d" % (chan.session, chan.rows,
                                             chan.cols))
        script_mod.Runner(chan, cfg.library, log=cfg.say).run(steps)
        cfg.result(name, True)
        return True
    except (script_mod.ScriptError, mcs.ChannelError, OSError) as e:
        cfg.result(name, False, str(e))
        return False
    finally:
        chan.close()
