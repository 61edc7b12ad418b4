#!/usr/bin/env python3
"""A tiny inetd for the test and demo hosts.

Listens on one TCP address and, for every accepted connection, runs a
daemon with the connected socket as its standard input and output, the way
inetd hands a connection to telnetd or in.rlogind.

    inetd.py [--host 127.0.0.1] [--port 0] [--log FILE] -- program [args...]

Once listening it prints "port N" on standard output (N is the bound port,
useful with --port 0) and closes standard output. SIGTERM stops the
listener and every daemon it started.
"""
import argparse
import os
import signal
import socket
import sys


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--log", default=os.devnull,
                        help="standard error of the daemons")
    parser.add_argument("program", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    program = args.program[1:] if args.program[:1] == ["--"] else args.program
    if not program:
        parser.error("no program to run")

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((args.host, args.port))
    listener.listen(16)

    children = set()

    def reap(_signum=None, _frame=None):
        while children:
            try:
                pid, _ = os.waitpid(-1, os.WNOHANG)
            except ChildProcessError:
                children.clear()
                return
            if pid == 0:
                return
            children.discard(pid)

    def stop(_signum, _frame):
        listener.close()
        for pid in list(children):
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        os._exit(0)

    signal.signal(signal.SIGCHLD, reap)
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    sys.stdout.write("port %d\n" % listener.getsockname()[1])
    sys.stdout.flush()
    devnull = os.open(os.devnull, os.O_WRONLY)
    os.dup2(devnull, 1)
    os.close(devnull)

    while True:
        try:
            conn, _ = listener.accept()
        except InterruptedError:
            continue
        except OSError:
            return
        pid = os.fork()
        if pid == 0:
            try:
                signal.signal(signal.SIGCHLD, signal.SIG_DFL)
                signal.signal(signal.SIGTERM, signal.SIG_DFL)
                signal.signal(signal.SIGINT, signal.SIG_DFL)
                os.setsid()
                listener.close()
                fd = conn.fileno()
                os.dup2(fd, 0)
                os.dup2(fd, 1)
                err = os.open(args.log, os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
                os.dup2(err, 2)
                for extra in (fd, err):
                    if extra > 2:
                        os.close(extra)
                os.execvp(program[0], program)
            finally:
                os._exit(127)
        children.add(pid)
        conn.close()


if __name__ == "__main__":
    main()
