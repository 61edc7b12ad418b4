#!/usr/bin/env python3
"""Zendra host simulator: HostIO telnet server with a small shell, and the
call-back daemon that drives MCS transactions from scripts or traces."""

import argparse
import os
import sys
import threading

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import fmtlib   # noqa: E402
import mcs      # noqa: E402
import script   # noqa: E402
import server   # noqa: E402


def _target(text):
    host, _, port = text.rpartition(":")
    return host or "127.0.0.1", int(port)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--port", type=int, help="HostIO port (0: any free one)")
    ap.add_argument("--host", default="127.0.0.1", help="address to listen on")
    ap.add_argument("--trace", help="append every frame to this trace file")
    ap.add_argument("--replay", help="replay this trace instead of scripts")
    ap.add_argument("--library", help="folder of *.fmt format files")
    ap.add_argument("--scripts", help="folder of NAME.zs transaction scripts")
    ap.add_argument("--callback", metavar="HOST:PORT",
                    help="call back a workstation without host login")
    ap.add_argument("--script", help="script NAME or file for --callback")
    ap.add_argument("--tag", default="0000", help="session tag of the "
                    "call-back greeting (default 0000: new session)")
    ap.add_argument("--auto", metavar="NAME", help="start transaction NAME "
                    "right after each login")
    ap.add_argument("--once", action="store_true",
                    help="exit after the first transaction")
    ap.add_argument("--no-compress", action="store_true")
    ap.add_argument("--leader", action="store_true",
                    help="mark frames as sent by the compression leader")
    ap.add_argument("--no-echo-ack", action="store_true",
                    help="do not echo the $ACK reply back")
    ap.add_argument("--timeout", type=float, default=30.0)
    a = ap.parse_args(argv)

    lib = fmtlib.Library()
    try:
        if a.library:
            lib.load_dir(a.library)
        records = mcs.read_trace(a.replay) if a.replay else None
    except (fmtlib.FormatError, ValueError, OSError) as e:
        print("zendra-sim: %s" % e, file=sys.stderr)
        return 2
    cfg = server.Config(lib, a.scripts, mcs.Trace(a.trace), records,
                        compress=not a.no_compress, leader=a.leader,
                        timeout=a.timeout, auto=a.auto,
                        echo_ack=not a.no_echo_ack)

    if a.callback:
        steps = []
        name = "replay"
        if records is None:
            if not a.script:
                print("zendra-sim: --callback needs --script or --replay",
                      file=sys.stderr)
                return 2
            path = a.script if os.path.isfile(a.script) else \
                cfg.script_path(a.script)
            if not path:
                print("zendra-sim: no script %s" % a.script, file=sys.stderr)
                return 2
            try:
                steps = script.load(path)
            except script.ScriptError as e:
                print("zendra-sim: %s" % e, file=sys.stderr)
                return 2
            name = os.path.splitext(os.path.basename(path))[0]
        ok = server.callback(cfg, _target(a.callback), steps, a.tag, name)
        return 0 if ok else 1

    if a.port is None:
        ap.error("--port or --callback is required")
    srv = server.Server(a.host, a.port, cfg)
    cfg.say("listening on %d" % srv.server_address[1])
    once = a.once or records is not None
    if not once:
        try:
            srv.serve_forever()
        except KeyboardInterrupt:
            pass
        return 0
    t = threading.Thread(target=srv.serve_forever, daemon=True)
    t.start()
    try:
        while not cfg.results and not cfg.done.is_set():
            cfg.done.wait(0.2)
    except KeyboardInterrupt:
        pass
    srv.shutdown()
    return 0 if cfg.results and all(r[1] for r in cfg.results) else 1


if __name__ == "__main__":
    sys.exit(main())
