"""The simulator as a process, against a fake workstation over real
sockets: telnet login, "$OPEN"/"$ACK", greeting and ACKs, a transaction
with a format request and pseudo mode, trace replay, call-back mode."""

import os
import shutil
import struct
import tempfile
import unittest

import simtest
from simtest import Sim, FakeWorkstation, IAC, SB, SE, WILL, DO, WONT
import forms
import zenbuf
from zenbuf import ZenBuf

LIBRARY = '''
format MENU1
  cursor 1 7
  row "Name:" field alnum 10
end
'''

SCRIPT = '''
# one screen, some character-mode output, end of channel
form dFmsgo fmt=menu1 text="JOHN" cb.wait=30 cb.sysname=ZENDRA count=3
fmtreq MENU1
expect dFmsgo fmt=MENU1 text="JOHN" status=A count=3 cb.wait=30
pseudo "listing\\r\\n"
end
'''

EOF_MARK = b"<([%EOF%])>"


class Workstation(FakeWorkstation):
    """Answers the transaction of SCRIPT the way a workstation would."""

    def serve(self, reply_text=b"JOHN", whole=True):
        req = self.recv()
        assert req.func == 21 and len(req.params) == 8, req.describe()
        fmt = self.request_format(b"MENU1")
        assert fmt[20:28] == b"MENU1   ", fmt[:48]
        ma = forms.ma_build(b"MENU1", reply_text, status=b" ")
        reply = forms.forms_request(21, ma=ma, cb=req.string(2),
                                    status=b"A", count=3)
        self.send(reply)
        if not whole:
            return
        assert self.recv().func == 205
        before = self.read_until(EOF_MARK)
        assert b"listing" in before, before
        assert self.recv().func == 206
        self.send(ZenBuf(206))
        assert self.recv().func == 203
        self.send(ZenBuf(203))
        self.mcs.close()
        self.mcs = None


class SimTestCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="zsim")
        self.lib = os.path.join(self.dir, "lib")
        self.scripts = os.path.join(self.dir, "scripts")
        os.mkdir(self.lib)
        os.mkdir(self.scripts)
        with open(os.path.join(self.lib, "test.fmt"), "w") as f:
            f.write(LIBRARY)
        with open(os.path.join(self.scripts, "hello.zs"), "w") as f:
            f.write(SCRIPT)
        self.trace = os.path.join(self.dir, "trace.txt")
        self.sims = []
        self.wss = []

    def tearDown(self):
        for s in self.sims:
            s.stop()
        for w in self.wss:
            w.close()
        shutil.rmtree(self.dir)

    def sim(self, *args, server=True):
        port = ("--port", "0") if server else ()
        s = Sim("--library", self.lib, "--scripts", self.scripts, *port,
                *args)
        self.sims.append(s)
        return s.start_server() if server else s

    def ws(self, **kw):
        w = Workstation(**kw)
        self.wss.append(w)
        return w


class TelnetLogin(SimTestCase):
    def test_asks_terminal_type_and_runs_commands(self):
        sim = self.sim()
        w = self.ws()
        w.login(sim.port)
        w.read_until(b"$ ")
        self.assertIn((DO, 24), w.options)
        self.assertIn(("SB", bytes((24, 1))), w.options)
        self.assertIn((DO, 31), w.options)     # answered WONT by the filter
        self.assertIn("login from 127.0.0.1 terminal korvex",
                      sim.wait_line("login from"))
        w.type(b"echo hi there\r\0")
        self.assertIn(b"hi there\r\n", w.read_until(b"$ "))
        w.type(b"ls\r\n")
        self.assertIn(b"hello\r\n", w.read_until(b"$ "))
        w.type(b"nosuch\r")
        self.assertIn(b"sh: nosuch: not found", w.read_until(b"$ "))
        w.type(b"zendra missing\r")
        self.assertIn(b"no transaction missing", w.read_until(b"$ "))
        w.type(b"exit\r")
        w.read_until(b"logout")


class Transaction(SimTestCase):
    def run_hello(self, sim, ws, reply_text=b"JOHN", whole=True):
        ws.login(sim.port)
        ws.read_until(b"$ ")
        ws.type(b"zendra hello\r")
        ws.answer_open()
        greeting = ws.accept()
        ws.serve(reply_text, whole)
        return greeting

    def test_open_ack_greeting_and_script(self):
        sim = self.sim("--trace", self.trace)
        w = self.ws(session=3)
        greeting = self.run_hello(sim, w)
        self.assertEqual(greeting[3:], b"0003")
        self.assertEqual(len(greeting), 7)
        self.assertEqual(sim.wait_line("transaction"),
                         "transaction hello: ok")
        w.read_until(b"$ ")      # back at the prompt
        with open(self.trace) as f:
            kinds = [l.split()[:3] for l in f if not l.startswith("#")]
        self.assertEqual(kinds[:5], [["TTY", "H>W", "RAW"],
                                     ["TTY", "W>H", "ACK"],
                                     ["MCS", "--", "OPEN"],
                                     ["MCS", "H>W", "GREET"],
                                     ["MCS", "W>H", "FRAME"]])
        self.assertEqual(kinds[-1], ["MCS", "--", "CLOSE"])

    def test_wrong_reply_fails_the_transaction(self):
        sim = self.sim()
        self.run_hello(sim, self.ws(), reply_text=b"JANE", whole=False)
        line = sim.wait_line("transaction")
        self.assertTrue(line.startswith("transaction hello: FAILED"), line)
        self.assertIn("text", line)

    def test_refused_callback_fails(self):
        sim = self.sim()
        w = self.ws()
        w.login(sim.port)
        w.read_until(b"$ ")
        w.type(b"zendra hello\r")
        w.answer_open()
        w.accept(ack=b"0000")
        line = sim.wait_line("transaction")
        self.assertIn("refused", line)


class Replay(SimTestCase):
    def record(self):
        sim = self.sim("--trace", self.trace)
        w = self.ws()
        Transaction.run_hello(None, sim, w)
        self.assertEqual(sim.wait_line("transaction"),
                         "transaction hello: ok")
        sim.stop()

    def replay(self, reply_text):
        sim = self.sim("--replay", self.trace)
        w = self.ws()
        Transaction.run_hello(None, sim, w, reply_text,
                              whole=reply_text == b"JOHN")
        return sim

    def test_replay_matches(self):
        self.record()
        sim = self.replay(b"JOHN")
        line = sim.wait_line("replay:")
        self.assertTrue(line.startswith("replay: ok"), line)
        self.assertEqual(sim.wait(), 0)

    def test_replay_detects_changed_byte(self):
        self.record()
        sim = self.replay(b"JOHX")
        line = sim.wait_line("replay:")
        self.assertIn("differs at byte", line)
        self.assertEqual(sim.wait(), 1)


class CallBack(SimTestCase):
    def test_new_session_tag(self):
        w = self.ws()
        sim = self.sim("--callback", "127.0.0.1:%d" % w.mcs_port,
                       "--script", "cb", server=False)
        with open(os.path.join(self.scripts, "cb.zs"), "w") as f:
            f.write('send dFwinapp t="true"\nexpect dFwinapp p1=1\nend\n')
        greeting = w.accept(ack=b"0005")
        self.assertEqual(greeting[3:], b"0000")
        req = w.recv()
        self.assertEqual((req.func, req.string(1)), (80, b"true"))
        w.send(ZenBuf(80).add_int(1))
        self.assertEqual(w.recv().func, 203)
        w.send(ZenBuf(203))
        self.assertEqual(sim.wait(), 0)
        self.assertIn("session 5 screen 24x80", sim.lines)


if __name__ == "__main__":
    unittest.main()
