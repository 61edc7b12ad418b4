#!/usr/bin/env python3
"""Writes the three host byte streams of the terminal benchmark.

listing.bin  a source file being listed (plain text lines, CR LF)
lsl.bin      an `ls -l`-like listing with SGR attributes
redraw.bin   full-screen redraws as an editor produces them: cursor
             addressing, erases, scroll regions, reverse index, inserts

Deterministic (fixed seed), 24 x 80 screen, each stream about 512 KiB.
Usage: gen_streams.py [output folder]   (default: bench/term/data)
"""
import os
import random
import sys

SIZE = 512 * 1024
ROWS, COLS = 24, 80
WORDS = ("int", "return", "static", "const", "char", "buffer", "length", "count",
         "session", "screen", "cursor", "row", "column", "if", "else", "for",
         "while", "struct", "void", "uint8_t", "size_t", "host", "reply", "parse")


def source_line(rng):
    indent = " " * (4 * rng.randint(0, 3))
    words = " ".join(rng.choice(WORDS) for _ in range(rng.randint(2, 9)))
    end = rng.choice((";", " {", "", ");", " }"))
    return (indent + words + end)[:COLS - 1]


def listing(rng):
    out = bytearray()
    n = 1
    while len(out) < SIZE:
        out += source_line(rng).encode() + b"\r\n"
        n += 1
    return bytes(out[:SIZE])


def lsl(rng):
    out = bytearray()
    kinds = ((b"\x1b[1m", "d"), (b"\x1b[0m", "-"), (b"\x1b[1;7m", "l"), (b"\x1b[4m", "-"))
    while len(out) < SIZE:
        sgr, t = rng.choice(kinds)
        perms = "".join(rng.choice("rwx-") for _ in range(9))
        name = "".join(rng.choice("abcdefghijklmnopqrstuvwxyz_.") for _ in range(rng.randint(4, 24)))
        line = "%s%s %2d %-8s %-8s %8d %s %2d %02d:%02d " % (
            t, perms, rng.randint(1, 9), "zendra", "staff", rng.randint(0, 99999999),
            rng.choice(("Jan", "Feb", "Mar", "Apr", "May", "Jun")), rng.randint(1, 28),
            rng.randint(0, 23), rng.randint(0, 59))
        out += line.encode() + sgr + name.encode() + b"\x1b[m\r\n"
    return bytes(out[:SIZE])


def redraw(rng):
    out = bytearray()
    while len(out) < SIZE:
        out += b"\x1b[H\x1b[J"
        for r in range(1, ROWS):
            out += b"\x1b[%d;1H" % r + source_line(rng).encode() + b"\x1b[K"
        out += b"\x1b[24;1H\x1b[7m-- INSERT --\x1b[m\x1b[K"
        for _ in range(20):
            op = rng.randint(0, 5)
            if op == 0:  # scroll a region up by a line
                top = rng.randint(1, 10)
                out += b"\x1b[%d;23r\x1b[23;1H\n" % top + source_line(rng).encode() + b"\x1b[r"
            elif op == 1:  # reverse index at the region top
                out += b"\x1b[2;23r\x1b[2;1H\x1bM" + source_line(rng).encode() + b"\x1b[r"
            elif op == 2:  # insert and delete lines
                out += b"\x1b[%d;1H\x1b[%dL" % (rng.randint(1, 22), rng.randint(1, 3))
                out += b"\x1b[%d;1H\x1b[%dM" % (rng.randint(1, 22), rng.randint(1, 3))
            elif op == 3:  # retype part of a line
                out += b"\x1b[%d;%dH" % (rng.randint(1, 23), rng.randint(1, 60))
                out += source_line(rng)[:20].encode() + b"\x1b[K"
            elif op == 4:  # status line and cursor report position
                out += b"\x1b7\x1b[24;60H\x1b[1m%5d,%-3d\x1b[m\x1b8" % (rng.randint(1, 9999), rng.randint(1, 80))
            else:  # cursor keys as the editor echoes them
                out += b"\x1b[%dA\x1b[%dC\x1b[%dB\x1b[%dD" % tuple(rng.randint(1, 5) for _ in range(4))
    return bytes(out[:SIZE])


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "data")
    os.makedirs(folder, exist_ok=True)
    for name, make in (("listing.bin", listing), ("lsl.bin", lsl), ("redraw.bin", redraw)):
        data = make(random.Random(name))
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
        print("%s: %d bytes" % (name, len(data)))


if __name__ == "__main__":
    main()
