#!/usr/bin/env python3
"""Loopback telnet host for the end-to-end benchmark.

flood  each connection gets SIZE bytes of mixed terminal output (the three
       streams of bench/term/data interleaved: text lines, SGR attributes,
       cursor addressing, erases, scroll regions), then the host closes it.
idle   each connection is kept open, sending nothing, until the peer closes.

The host always reads and discards what the client sends: a peer that closes
with unread telnet negotiation in its buffer would reset the connection.

Usage: flood_host.py [--mode flood|idle] [--port N] [--size BYTES]
                     [--port-file FILE] [--connections N] [--log FILE]
--port 0 (default) picks a free port; it is printed on standard output and,
with --port-file, written to FILE once the host listens. --connections 0
(default) serves until killed. With --log, one line per connection is
appended to FILE: "sent BYTES" when the whole output went out and the
client closed after it, "failed BYTES REASON" otherwise.
"""
import argparse
import os
import socket
import sys
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "term", "data")
STREAMS = ("listing.bin", "lsl.bin", "redraw.bin")
PIECE = 32 * 1024
# Ends the output in a known state: attributes off, no scroll region.
TRAILER = b"\x1b[m\x1b[r\x1b[24;1H\r\n"


def pieces(data, boundary):
    """Splits data into pieces of about PIECE bytes, each cut just before a
    boundary so that no escape sequence is split between two pieces."""
    out, start = [], 0
    while start < len(data):
        end = data.find(boundary, start + PIECE)
        end = len(data) if end < 0 else end
        out.append(data[start:end])
        start = end
    return out


def build_payload(size):
    split = []
    for name in STREAMS:
        with open(os.path.join(DATA, name), "rb") as f:
            data = f.read()
        # Redraws restart at cursor home; the listings at line starts.
        split.append(pieces(data, b"\x1b[H\x1b[J" if name == "redraw.bin" else b"\r\n"))
    out = bytearray()
    i = 0
    body = size - len(TRAILER)
    while len(out) < body:
        p = split[i % len(split)][(i // len(split)) % len(split[i % len(split)])]
        out += p
        i += 1
    # Cut the last piece at a line end so the trailer starts cleanly.
    cut = out.rfind(b"\r\n", 0, body)
    del out[cut + 2 if cut >= 0 else body:]
    out += b" " * (body - len(out))
    return bytes(out) + TRAILER


def drain(conn, stop, state):
    try:
        while conn.recv(4096):
            pass
    except OSError as e:
        # A reset: the client closed with output still unread.
        state["error"] = e.__class__.__name__
    stop.set()


LOG_LOCK = threading.Lock()


def log_line(path, text):
    if not path:
        return
    with LOG_LOCK, open(path, "a") as f:
        f.write(text + "\n")


def serve(conn, mode, payload, log):
    stop = threading.Event()
    state = {}
    reader = threading.Thread(target=drain, args=(conn, stop, state), daemon=True)
    reader.start()
    sent = 0
    result = None
    try:
        if mode == "flood":
            view = memoryview(payload)
            while sent < len(view):
                sent += conn.send(view[sent:sent + 65536])
            conn.shutdown(socket.SHUT_WR)
            # Keep reading until the client has closed its side, so its
            # last negotiation replies are read rather than reset.
            reader.join(30)
            if not stop.is_set():
                result = "failed %d client-did-not-close" % sent
            elif "error" in state:
                result = "failed %d %s" % (sent, state["error"])
            else:
                result = "sent %d" % sent
        else:
            stop.wait()
    except OSError as e:
        result = "failed %d %s" % (sent, e.__class__.__name__)
    finally:
        conn.close()
    if mode == "flood":
        log_line(log, result)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--mode", choices=("flood", "idle"), default="flood")
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--size", type=int, default=10 * 1024 * 1024)
    ap.add_argument("--port-file")
    ap.add_argument("--connections", type=int, default=0)
    ap.add_argument("--log")
    args = ap.parse_args()

    payload = build_payload(args.size) if args.mode == "flood" else b""
    srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    srv.bind(("127.0.0.1", args.port))
    srv.listen(16)
    port = srv.getsockname()[1]
    print(port, flush=True)
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % port)
        os.replace(tmp, args.port_file)

    served = 0
    threads = []
    while args.connections == 0 or served < args.connections:
        conn, _ = srv.accept()
        t = threading.Thread(target=serve, args=(conn, args.mode, payload, args.log), daemon=True)
        t.start()
        threads.append(t)
        served += 1
    for t in threads:
        t.join()
    srv.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
