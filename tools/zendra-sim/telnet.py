"""Host side of a telnet connection: asks for the terminal type, offers echo
and suppress-go-ahead, and hands the data bytes to the shell."""

import select
import time

IAC, DONT, DO, WONT, WILL, SB, SE = 255, 254, 253, 252, 251, 250, 240
OPT_ECHO, OPT_SGA, OPT_TTYPE, OPT_NAWS = 1, 3, 24, 31
TTYPE_IS, TTYPE_SEND = 0, 1


class Closed(Exception):
    pass


class Telnet:
    def __init__(self, sock, log=None):
        self.sock = sock
        self.log = log or (lambda text: None)
        self.data = bytearray()       # received data not yet consumed
        self.state = "data"
        self.cmd = 0
        self.sb = bytearray()
        self.events = []              # (cmd, option) and ("SB", bytes)
        self.ttype = None
        self.replies = {}             # option -> WILL/WONT answer to our DO

    # output
    def write(self, data):
        data = bytes(data).replace(b"\xff", b"\xff\xff")
        try:
            self.sock.sendall(data)
        except OSError as e:
            raise Closed(str(e))

    def send_command(self, data):
        try:
            self.sock.sendall(bytes(data))
        except OSError as e:
            raise Closed(str(e))

    # input
    def fill(self, timeout=None):
        """Reads once; returns False on timeout. Raises Closed at EOF."""
        r, _, _ = select.select([self.sock], [], [], timeout)
        if not r:
            return False
        try:
            chunk = self.sock.recv(4096)
        except OSError as e:
            raise Closed(str(e))
        if not chunk:
            raise Closed("end of stream")
        self.feed(chunk)
        return True

    def feed(self, chunk):
        for b in chunk:
            st = self.state
            if st == "data":
                if b == IAC:
                    self.state = "iac"
                else:
                    self.data.append(b)
            elif st == "iac":
                if b == IAC:
                    self.data.append(IAC)
                    self.state = "data"
                elif b in (WILL, WONT, DO, DONT):
                    self.cmd = b
                    self.state = "opt"
                elif b == SB:
                    self.sb = bytearray()
                    self.state = "sb"
                else:
                    self.state = "data"
            elif st == "opt":
                self.events.append((self.cmd, b))
                if self.cmd in (WILL, WONT):
                    self.replies[b] = self.cmd
                self.state = "data"
            elif st == "sb":
                if b == IAC:
                    self.state = "sbiac"
                else:
                    self.sb.append(b)
            elif st == "sbiac":
                if b == SE:
                    self.subnegotiation(bytes(self.sb))
                    self.state = "data"
                else:
                    self.sb.append(b)
                    self.state = "sb"

    def subnegotiation(self, sb):
        self.events.append(("SB", sb))
        if len(sb) >= 2 and sb[0] == OPT_TTYPE and sb[1] == TTYPE_IS:
            self.ttype = sb[2:].decode("latin-1")

    def negotiate(self, timeout=5.0):
        """Asks for the terminal type; returns it, or None when the client
        does not tell."""
        self.send_command(bytes((IAC, DO, OPT_TTYPE, IAC, DO, OPT_NAWS,
                                 IAC, WILL, OPT_ECHO, IAC, WILL, OPT_SGA)))
        deadline = time.monotonic() + timeout
        while OPT_TTYPE not in self.replies:
            left = deadline - time.monotonic()
            if left <= 0 or not self.fill(left):
                self.log("no answer to DO TERMINAL-TYPE")
                return None
        if self.replies[OPT_TTYPE] != WILL:
            return None
        self.send_command(bytes((IAC, SB, OPT_TTYPE, TTYPE_SEND, IAC, SE)))
        while self.ttype is None:
            left = deadline - time.monotonic()
            if left <= 0 or not self.fill(left):
                self.log("no terminal type sent")
                return None
        return self.ttype
