"""MCS body coder: optional run-length pass, optional Huffman pass with the
fixed code table, one flag byte in front telling the receiver what was done.

The work buffer size is part of the coder state because it decides whether
the run-length pass is abandoned; keeping it exact lets the simulator predict
the workstation's frames byte for byte.
"""

ERR_NOMEM = -101
ERR_TABLE = -102
ERR_FLAG = -103
ERR_EXPAND = -104
ERR_ROOM = -105

FLAG_LEADER = 0x01
FLAG_ON = 0x02
FLAG_RLE = 0x04
FLAG_HUFF = 0x08
FLAG_PACKED = 0x10

WORK_KEEP = 2048
MAX_MSG = 32767

# (length, value) per byte value; the code is the low `length` bits of value,
# sent most significant first.
CODES = (
    (7, 0x4F), (7, 0x65), (6, 0x25), (8, 0x9D), (7, 0x3E), (10, 0x6), (9, 0x1A0), (10, 0xC), (11, 0x33C), (11, 0x33D), (12, 0xC52), (8, 0x6), (10, 0xD), (5, 0x2), (12, 0x72), (8, 0x66),
    (12, 0x4), (11, 0xE), (15, 0x6878), (16, 0x752), (10, 0x272), (10, 0xF), (15, 0x6879), (16, 0x753), (16, 0x754), (10, 0x342), (16, 0x755), (7, 0x69), (16, 0x756), (16, 0x757), (16, 0x758), (9, 0xC3),
    (3, 0x2), (12, 0x14), (11, 0x4E6), (12, 0xD0E), (11, 0x30A), (11, 0x33E), (10, 0x4), (11, 0xF), (11, 0x4E1), (11, 0x4E3), (9, 0x18B), (13, 0x1A1F), (8, 0x7F), (8, 0xD1), (6, 0x1E), (6, 0x3D),
    (5, 0x1F), (5, 0x1D), (5, 0x4), (5, 0x5), (5, 0x3), (6, 0x30), (6, 0x35), (6, 0x20), (5, 0x1), (5, 0x14), (8, 0x64), (13, 0x2C), (11, 0x38), (13, 0x1389), (11, 0x339), (15, 0x3A0),
    (10, 0xE), (5, 0xE), (7, 0x48), (5, 0x11), (6, 0x3C), (5, 0x1B), (7, 0x66), (7, 0x67), (6, 0x26), (5, 0x15), (8, 0x60), (7, 0x31), (6, 0x38), (6, 0x21), (5, 0x16), (5, 0x17),
    (6, 0x39), (8, 0x2), (5, 0x7), (5, 0xD), (5, 0x6), (7, 0x63), (7, 0x64), (7, 0x49), (8, 0x65), (7, 0x2), (9, 0x1), (13, 0x1388), (15, 0x687A), (16, 0x759), (13, 0x2D), (11, 0x62B),
    (11, 0x62A), (11, 0x33F), (13, 0x2E), (12, 0x9C0), (11, 0x4E7), (8, 0xC4), (12, 0x15), (14, 0x314D), (12, 0x9C1), (11, 0x30B), (16, 0x75A), (12, 0x671), (10, 0x0), (12, 0x5), (9, 0xF), (10, 0x19D),
    (16, 0x75B), (16, 0x75C), (11, 0x686), (11, 0x628), (12, 0x6), (12, 0x7), (16, 0x75D), (13, 0x18A7), (16, 0x75E), (12, 0x9C5), (14, 0x1CC), (16, 0x75F), (16, 0x760), (16, 0x761), (16, 0x762), (16, 0x763),
    (16, 0x764), (16, 0x765), (16, 0x766), (14, 0x5F), (15, 0xBD), (16, 0x767), (16, 0x768), (16, 0x769), (16, 0x76A), (16, 0x76B), (16, 0x76C), (16, 0x76D), (16, 0x76E), (14, 0x1CD), (15, 0x3A1), (16, 0x76F),
    (16, 0x770), (16, 0x771), (16, 0x772), (16, 0x773), (16, 0x774), (16, 0x775), (16, 0x776), (14, 0x1CE), (14, 0x1CF), (16, 0x777), (16, 0x778), (16, 0x779), (16, 0x77A), (16, 0x77B), (16, 0x77C), (16, 0x77D),
    (16, 0x77E), (15, 0x687B), (16, 0x77F), (16, 0x6100), (16, 0x6101), (16, 0x6102), (16, 0x6103), (16, 0x6104), (16, 0x6105), (16, 0x6106), (16, 0x6107), (15, 0x3A2), (15, 0x3A3), (16, 0x6108), (16, 0x6109), (16, 0x610A),
    (16, 0x610B), (16, 0x610C), (16, 0x610D), (16, 0x610E), (16, 0x610F), (15, 0x3A4), (16, 0x6110), (16, 0x6111), (16, 0x6112), (16, 0x6113), (16, 0x6114), (16, 0x6115), (16, 0x6116), (16, 0x6117), (16, 0x6118), (15, 0x3A5),
    (15, 0x3A6), (15, 0x3A7), (16, 0x6119), (16, 0x611A), (16, 0x611B), (16, 0x611C), (16, 0x611D), (16, 0x611E), (16, 0x611F), (15, 0x3A8), (16, 0x6120), (16, 0x6121), (16, 0x6122), (16, 0x6123), (16, 0x6124), (16, 0x6125),
    (16, 0x6126), (16, 0x6127), (16, 0x6128), (16, 0x6129), (16, 0x612A), (16, 0x612B), (16, 0x612C), (16, 0x612D), (16, 0x612E), (16, 0x612F), (16, 0x6130), (16, 0x6131), (16, 0x6132), (16, 0x6133), (16, 0x6134), (16, 0x6135),
    (16, 0x6136), (16, 0x6137), (16, 0x6138), (16, 0x6139), (16, 0x613A), (16, 0x613B), (16, 0x613C), (16, 0x613D), (16, 0x613E), (16, 0x613F), (16, 0x6700), (16, 0x6701), (16, 0x6702), (16, 0x6703), (16, 0x6704), (16, 0x6705),
    (16, 0x6706), (16, 0x6707), (16, 0x6708), (16, 0x6709), (16, 0x670A), (16, 0x670B), (16, 0x670C), (16, 0x670D), (16, 0x670E), (16, 0x670F), (16, 0xC530), (16, 0xC531), (16, 0xC532), (16, 0xC533), (15, 0xBC), (8, 0x7E),
)


def _build_tree():
    # node: [child0, child1] lists, leaves are ints
    root = [None, None]
    for sym, (length, value) in enumerate(CODES):
        node = root
        for i in range(length - 1, -1, -1):
            bit = (value >> i) & 1
            if i == 0:
                if node[bit] is not None:
                    raise ValueError("code table is not a prefix code")
                node[bit] = sym
            else:
                if node[bit] is None:
                    node[bit] = [None, None]
                elif isinstance(node[bit], int):
                    raise ValueError("code table is not a prefix code")
                node = node[bit]
    return root


TREE = _build_tree()


def rle_encode(msg, work_size):
    """Run-length pass; returns the data or None when the pass is abandoned."""
    out = bytearray()
    n = len(msg)
    i = 0
    while i < n:
        if len(out) > work_size - 3:
            return None
        b = msg[i]
        if i + 1 < n and msg[i + 1] == b:
            run = 1
            while i + run < n and run < 255 and msg[i + run] == b:
                run += 1
            if run >= 4:
                out += bytes((0x02, run, b))
                i += run
                continue
        if b == 0x02:
            out += b"\x02\x02"
        else:
            out.append(b)
        i += 1
    if len(out) >= 32768:
        return None
    return bytes(out)


def rle_decode(data, m):
    """Expands run-length data; None when it does not give exactly m bytes."""
    out = bytearray()
    i = 0
    n = len(data)
    while i < n:
        b = data[i]
        if b == 0x02:
            if i + 1 >= n:
                return None
            if data[i + 1] == 0x02:
                piece = b"\x02"
                i += 2
            else:
                if i + 2 >= n:
                    return None
                piece = bytes((data[i + 2],)) * data[i + 1]
                i += 3
        else:
            piece = bytes((b,))
            i += 1
        if len(out) + len(piece) > m:
            return None
        out += piece
    if len(out) != m:
        return None
    return bytes(out)


def huff_encode(data, room):
    """Huffman pass into an output starting at offset 5 of a body of `room`
    bytes; returns the bytes, or None when they do not fit."""
    acc = 0
    nbits = 0
    for b in data:
        length, value = CODES[b]
        acc = (acc << length) | value
        nbits += length
    groups = (nbits + 31) // 32
    for g in range(groups):
        if 4 * g + 4 > room - 5:
            return None
    nbytes = (nbits + 7) // 8
    if nbits % 8:
        acc <<= 8 - nbits % 8
    return acc.to_bytes(nbytes, "big") if nbytes else b""


def huff_decode(stream, count):
    out = bytearray()
    pos = 0  # bit position
    total = len(stream) * 8
    for _ in range(count):
        node = TREE
        while True:
            if pos < total:
                bit = (stream[pos >> 3] >> (7 - (pos & 7))) & 1
            else:
                bit = 0  # past the end of the body counts as zero
            pos += 1
            node = node[bit]
            if isinstance(node, int):
                out.append(node)
                break
    return bytes(out)


class Coder:
    """One side's coder state."""

    def __init__(self, on=True, leader=False):
        self.on = on
        self.leader = leader
        self.follow = False     # follow-the-peer mode
        self.work_size = 0
        self.min_length = 0

    def _need_work(self, n):
        if self.work_size < n:
            self.work_size = n

    def _trim_work(self):
        if self.work_size > WORK_KEEP:
            self.work_size = 0

    def compress(self, msg, room=MAX_MSG + 3):
        """Returns the body, or a negative error code."""
        msg = bytes(msg)
        n = len(msg)
        flag = FLAG_LEADER if self.leader else 0
        if not self.on or n < self.min_length:
            if n + 1 > room:
                self.work_size = 0
                return ERR_ROOM
            return bytes((flag | (FLAG_ON if self.on else 0),)) + msg
        self._need_work(n)
        rle = rle_encode(msg, self.work_size)
        if rle is None:
            data, hdr = msg, 1
        else:
            data, hdr = rle, 3
            flag |= FLAG_RLE
        d = len(data)
        bits = huff_encode(data, room)
        if bits is None or len(bits) > d + hdr:
            if hdr == 3:
                if 3 + d > room:
                    self.work_size = 0
                    return ERR_ROOM
                out = bytes((flag | 0x12,)) + n.to_bytes(2, "big") + data
            else:
                if n + 1 > room:
                    self.work_size = 0
                    return ERR_ROOM
                out = bytes(((flag & FLAG_LEADER) | FLAG_ON,)) + msg
        else:
            out = (bytes((flag | FLAG_HUFF | 0x12,)) + n.to_bytes(2, "big")
                   + d.to_bytes(2, "big") + bits)
        self._trim_work()
        return out

    def decompress(self, body):
        """Returns the message, or a negative error code."""
        body = bytes(body)
        if not body:
            return ERR_FLAG
        flag = body[0]
        if flag & FLAG_LEADER and not self.follow:
            self.follow = True
        if not flag & (FLAG_RLE | FLAG_HUFF):
            if not flag & FLAG_ON:
                self.on = False
            return body[1:]
        if flag & 0xF0 != FLAG_PACKED:
            return ERR_FLAG
        self.on = True
        if len(body) < 3:
            return ERR_EXPAND
        m = int.from_bytes(body[1:3], "big", signed=True)
        if m < 0:
            return ERR_NOMEM
        if flag & FLAG_HUFF:
            c = int.from_bytes(body[3:5].ljust(2, b"\0"), "big")
            self._need_work(c)
            data = huff_decode(body[5:], c)
        else:
            data = body[3:]
        if flag & FLAG_RLE:
            out = rle_decode(data, m)
            if out is None:
                self.work_size = 0
                return ERR_EXPAND
        else:
            if len(data) != m:
                self.work_size = 0
                return ERR_EXPAND
            out = data
        self._trim_work()
        return out
