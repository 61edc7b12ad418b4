"""Replays a recorded trace against a workstation: host records are sent as
recorded, every workstation frame must match its record byte for byte."""

import socket

from mcs import recv_exact, ChannelError


class ReplayError(Exception):
    pass


def replay(records, tty=None, read_ack=None, target=None, timeout=30.0,
           log=None):
    """records: from mcs.read_trace. tty(bytes) writes on the host
    connection, read_ack() returns the live (address, port, session) of the
    workstation's "$ACK" reply; target (address, port) overrides where the
    call-back goes. Returns the number of frames checked."""
    log = log or (lambda text: None)
    sock = None
    live = None
    checked = 0
    try:
        for (line, chan, direction, kind, data) in records:
            where = "trace line %d" % line
            if chan == "TTY" and direction == "H>W":
                if tty is None:
                    raise ReplayError("%s: no host connection to replay on"
                                      % where)
                tty(data)
            elif chan == "TTY" and direction == "W>H" and kind == "ACK":
                if read_ack is None:
                    raise ReplayError("%s: no host connection for $ACK"
                                      % where)
                live = read_ack()
            elif chan == "TTY":
                continue
            elif chan == "MCS" and kind == "OPEN":
                if target:
                    addr, port = target
                elif live:
                    addr, port = live[0], live[1]
                else:
                    addr = socket.inet_ntoa(data[:4])
                    port = int.from_bytes(data[4:6], "big")
                log("replaying the call-back to %s:%d" % (addr, port))
                try:
                    sock = socket.create_connection((addr, port),
                                                    timeout=timeout)
                except OSError as e:
                    raise ReplayError("%s: cannot connect to %s:%d: %s"
                                      % (where, addr, port, e))
                sock.settimeout(timeout)
            elif chan == "MCS" and kind == "CLOSE":
                if sock:
                    sock.close()
                    sock = None
            elif chan == "MCS" and direction == "H>W":
                if sock is None:
                    raise ReplayError("%s: no MCS connection" % where)
                sock.sendall(data)
            elif chan == "MCS" and direction == "W>H":
                if sock is None:
                    raise ReplayError("%s: no MCS connection" % where)
                try:
                    head = recv_exact(sock, 2)
                    got = head + recv_exact(sock, int.from_bytes(head, "big"))
                except (ChannelError, OSError) as e:
                    raise ReplayError("%s: expected a frame of %d bytes: %s"
                                      % (where, len(data), e))
                if got != data:
                    raise ReplayError(_difference(where, data, got))
                checked += 1
            else:
                raise ReplayError("%s: unknown record %s %s %s"
                                  % (where, chan, direction, kind))
    finally:
        if sock:
            sock.close()
    return checked


def _difference(where, want, got):
    for i in range(min(len(want), len(got))):
        if want[i] != got[i]:
            return ("%s: workstation frame differs at byte %d: expected "
                    "%02x, got %02x (got %s)" % (where, i, want[i], got[i],
                                                  got.hex()))
    return ("%s: workstation frame has %d bytes, expected %d (got %s)"
            % (where, len(got), len(want), got.hex()))
